#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "base/Prompts.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/ModalRunner.h"

namespace zorvex::test {

// A fresh data.db and protocols directory, boxes scripted, and every modal
// dialog handed to `drive` instead of blocking (a dialog nobody expects fails
// the test).
class ProtocolWindowsTest : public ::testing::Test {
protected:
    ProtocolWindowsTest()
        : prompts(std::make_shared<ScriptedPrompts>()),
          promptsScope(prompts),
          protocolsScope(dir.File("protocols")),
          runnerScope([this](QDialog& dialog) {
              ++modalCount;
              if (!drive)
                  ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
              else
                  drive(dialog);
              dialog.hide();
              return dialog.result();
          }) {
        SetMainDatabase(OpenDatabase(dir.File("data.db")));
    }
    ~ProtocolWindowsTest() override { SetMainDatabase(nullptr); }

    std::string Db() const { return dir.File("data.db"); }

    TempDir dir;
    std::shared_ptr<ScriptedPrompts> prompts;
    PromptsScope promptsScope;
    ProtocolDirectoryScope protocolsScope;
    std::function<void(QDialog&)> drive;
    int modalCount = 0;
    ModalRunnerScope runnerScope;
};

}  // namespace zorvex::test
