#include "protocol/ProtocolSession.h"

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "protocol/ProtocolCodec.h"
#include "protocol/ProtocolStore.h"
#include "storage/InputHistory.h"

namespace zorvex {

TProtocolSession NewProtocolSession(const TMeasureDataP& measurements) {
    TProtocolSession session;
    session.Measurements = measurements;
    return session;
}

TProtocolSession StoredProtocolSession(std::int32_t id) {
    TStoredProtocol stored = ReadProtocol(id);
    TProtocolSession session;
    session.ProtocolId = id;
    session.StoredConsts = std::move(stored.consts);
    session.StoredTabData = std::move(stored.tabdata);
    session.Measurements = std::move(stored.measurements);
    return session;
}

void LoadProtocolTexts(TProtocolSession& session, IProtocolFields& fields) {
    const bool reopened = !session.StoredConsts.empty();
    session.TextsLoaded = !reopened;
    session.NotLoadedReason = reopened ? "окно не подготовлено" : "";
    try {
        if (!BuildResultTables(session.Measurements, session.Tables, session.WorkplaceCount)) {
            if (reopened) session.NotLoadedReason = "в измерениях протокола нет номеров рабочих мест";
            return;
        }
        if (reopened) {
            DecodeConsts(session.StoredConsts, fields);
            DecodeTabData(session.StoredTabData, session.Tables);
            session.TextsLoaded = true;
            session.NotLoadedReason.clear();
        }
    } catch (const Exception& e) {
        if (reopened) session.NotLoadedReason = e.Message();
        throw;
    }
}

void PrepareEditor(TProtocolSession& session, IProtocolFields& fields) {
    const bool reopened = !session.StoredConsts.empty();
    session.TextsLoaded = !reopened;
    session.NotLoadedReason = reopened ? "окно не подготовлено" : "";
    PurgeHistory();
    FillHistoryLists([&fields](const std::string& name) { return fields.FieldText(name); },
                     [&fields](const std::string& name, const std::vector<std::string>& items) {
                         fields.SetHistoryItems(name, items);
                     });
    LoadProtocolTexts(session, fields);
}

TFormOutcome FormProtocol(TProtocolSession& session, const IProtocolFields& fields) {
    if (!session.TextsLoaded) {
        throw Exception("Протокол не сохранён: его сохранённые тексты не загружены в окно (" + session.NotLoadedReason +
                        "), и сохранение заменило бы их.");
    }
    if (const auto problem = CheckStorable(fields, session.Tables)) {
        throw Exception("Протокол не сохранён. " + *problem);
    }
    if (!session.CalibrationConfirmed) {
        const std::string question = CalibrationQuestion(session.Calibrations);
        if (!question.empty()) {
            if (!Prompts().Confirm(question, "Подтверждение")) return TFormOutcome::NotStored;
            session.CalibrationConfirmed = true;
        }
    }

    RecordFieldTexts([&fields](const std::string& name) { return fields.FieldText(name); });

    const std::string consts = EncodeConsts(fields);
    const std::string tabdata = EncodeTabData(session.Tables);
    const bool inserted = StoreProtocol(session.ProtocolId, fields.FieldText("Edit0").value_or(std::string()),
                                        StoredProtocolDate(fields.Date(), Now()), consts, tabdata);

    switch (WriteProtocolFile(session.ProtocolId, inserted, session.Measurements)) {
        case TFileOutcome::Written:
            return TFormOutcome::Stored;
        case TFileOutcome::NewDeclined:
            return TFormOutcome::NotStored;
        case TFileOutcome::StoredDeclined:
            Prompts().ShowMessage(
                "Протокол сохранён в базе данных; файл " + ProtocolFilePath(session.ProtocolId) + " оставлен прежним.",
                "", MessageIcon::Information);
            return TFormOutcome::StoredFileKept;
    }
    return TFormOutcome::NotStored;
}

}  // namespace zorvex
