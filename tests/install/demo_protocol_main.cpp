// Lays out a user's data directory as the window leaves it after one stored
// protocol: DIR/data.db with the protocol's row and DIR/protocols/1.zorvexpro
// with its measurements, so that the installed zorvex-cli can print it.
#include <filesystem>
#include <iostream>

#include "base/Console.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "protocol/ProtocolSession.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"

int main(int argc, char* argv[]) {
    using namespace zorvex;
    if (argc != 2) {
        std::cerr << "usage: zorvex-demo-protocol DIR\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = std::filesystem::absolute(PathFromUtf8(Utf8Arguments(argc, argv)[0]));
        std::filesystem::create_directories(dir);
        SetMainDatabase(OpenDatabase(Utf8FromPath(dir / "data.db")));  // its protocols/ is beside it
        TMeasureDataP data;
        data.SetMethodBytes();
        for (const int workplace : {1, 2, 3}) {
            TMeasureRecord r;
            r.kind = kKindMagnetic;
            r.number = workplace;
            r.workplace = workplace;
            r.height = 2;
            r.time = EncodeDateTime(2026, 3, 17, 10, workplace, 0, 0);
            r.mvalue = 100 + workplace;
            data(kMethodSingle, kKindMagnetic).Records.push_back(r);
        }
        TProtocolSession session = NewProtocolSession(data);
        TProtocolFields fields;
        fields.SetDate(EncodeDate(2026, 3, 17));
        PrepareEditor(session, fields);
        fields.SetFieldText("Edit0", "17/2026");
        fields.SetFieldText("Edit1", "ООО «Пример»");
        const bool stored = FormProtocol(session, fields) == TFormOutcome::Stored;
        SetMainDatabase(nullptr);
        if (!stored) {
            std::cerr << "zorvex-demo-protocol: the protocol was not stored\n";
            return 1;
        }
    } catch (const Exception& e) {
        std::cerr << "zorvex-demo-protocol: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
