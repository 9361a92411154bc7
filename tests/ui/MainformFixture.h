#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QToolButton>
#include <memory>

#include "base/DateTime.h"
#include "model/MeasureModel.h"
#include "storage/SQLiteDatabase.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/grid/StringGrid.h"
#include "ui/main/Mainform.h"

namespace zorvex::test {

inline TMeasureRecord Record(int kind, TDateTime time, double m, double e, int band = 0, int rejection = 0,
                             int number = 1) {
    TMeasureRecord r;
    r.kind = static_cast<std::uint8_t>(kind);
    r.number = number;
    r.time = time;
    r.mvalue = m;
    r.evalue = e;
    r.band = static_cast<std::uint8_t>(band);
    r.rejection = static_cast<std::uint8_t>(rejection);
    return r;
}

// The real main window on a fresh data.db in a temporary directory, shown
// offscreen, with every box going to a scripted fake.
class MainformTest : public ::testing::Test {
protected:
    MainformTest() : prompts(std::make_shared<ScriptedPrompts>()), scope(prompts) {
        form = std::make_unique<TMainform>(dir.File("data.db"));
        form->show();
    }
    ~MainformTest() override {
        form.reset();
        SetMainDatabase(nullptr);
    }

    // Puts the matrix on view in the given mode and kind.
    void Show(const TMeasureDataP& data, int mode, int kind) {
        form->TakeOverMatrix(data, false);
        if (mode == kMethodSingle) {
            form->N1Click();
        } else {
            form->N2Click();
        }
        form->TabControl1->setCurrentIndex(kind);
        form->SetupDataGrid();
    }

    QString Cell(int col, int row) const { return form->DataGrid->Cell(col, row); }
    std::string Data(const std::string& file) const { return dir.File(file); }

    TempDir dir;
    std::shared_ptr<ScriptedPrompts> prompts;
    PromptsScope scope;
    std::unique_ptr<TMainform> form;
};

}  // namespace zorvex::test
