#include "platform/dialogs/dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/dialogs/fake_dialogs.h"
#include "platform/dialogs/font_family.h"
#include "platform/dialogs/qt_dialogs.h"
#include "support/temp_dir.h"

namespace platform::dialogs {
namespace {

using ::testing::ElementsAre;

TEST(ParseFilter, SplitsDescriptionsAndPatterns) {
  struct Case {
    const char* filter;
    std::vector<FilterEntry> entries;
  };
  const Case cases[] = {
      {".xls|*.xls", {{".xls", "*.xls"}}},
      {"工作簿|*.xls;*.xlt|全部|*.*", {{"工作簿", "*.xls;*.xlt"}, {"全部", "*.*"}}},
      {"*.dbf", {{"*.dbf", "*.dbf"}}},  // a lone description filters by itself
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFilter(c.filter), c.entries) << c.filter;
}

TEST(QtNameFilters, ShowsEachEntryAsDescriptionAndPatterns) {
  EXPECT_EQ(QtNameFilters(".xls|*.xls").toStdString(), ".xls (*.xls)");
  EXPECT_EQ(QtNameFilters("工作簿|*.xls;*.xlt|全部|*.*").toStdString(),
            "工作簿 (*.xls *.xlt);;全部 (*.*)");
}

TEST(FileChooser, KeepsTheLastChosenNameAndIgnoresCancels) {
  FakeDialogs fake;
  fake.file_answers = {"a.dbf", std::nullopt, "b.dbf"};
  FileChooser chooser(fake, FileDialogKind::kSaveAs, ".dbf|*.dbf");
  EXPECT_TRUE(chooser.Show());
  EXPECT_FALSE(chooser.Show());
  EXPECT_EQ(chooser.FileName(), "a.dbf");
  EXPECT_TRUE(chooser.Show());
  EXPECT_EQ(chooser.FileName(), "b.dbf");
  std::vector<std::string> started_from;
  for (const auto& request : fake.file_requests) started_from.push_back(request.file_name);
  EXPECT_THAT(started_from, ElementsAre("", "a.dbf", "a.dbf"));
}

TEST(ChineseFontFamily, FindsAFaceThatDrawsSimplifiedChinese) {
  const QString family = ChineseFontFamily(QStringLiteral("SimSun"));
  EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
      << family.toStdString();
  // An installed family is taken as it is.
  const QString installed = QFontDatabase::families().front();
  EXPECT_EQ(ChineseFontFamily(installed), installed);
}

// Runs `answer` on the modal widget once the dialog under test is up.
void WhenModal(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    answer(modal);
  });
}

TEST(QtDialogs, OpenDialogShowsTheFilterAndReturnsTheChosenFile) {
  testing_support::TempDir dir;
  const std::string file = dir.File("簿.xls");
  testing_support::WriteFileBytes(file, "x");
  QStringList filters;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptSave;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    mode = dialog->acceptMode();
    dialog->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(dialog)->accept();  // the dialog's own check runs
  });
  QtDialogs dialogs;
  EXPECT_EQ(dialogs.ChooseFile(FileDialogKind::kOpen, ".xls|*.xls", ""), file);
  EXPECT_EQ(filters, QStringList{QStringLiteral(".xls (*.xls)")});
  EXPECT_EQ(mode, QFileDialog::AcceptOpen);
}

TEST(QtDialogs, SaveAsStartsFromTheGivenNameAndNeverAsksAboutOverwriting) {
  testing_support::TempDir dir;
  const std::string file = dir.File("out.dbf");
  testing_support::WriteFileBytes(file, "old");
  QStringList selected;
  bool confirms = true;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    selected = dialog->selectedFiles();
    confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    // Accepting would put up a second, unanswered box if it confirmed.
    if (confirms) {
      dialog->reject();
    } else {
      static_cast<QDialog*>(dialog)->accept();
    }
  });
  QtDialogs dialogs;
  EXPECT_EQ(dialogs.ChooseFile(FileDialogKind::kSaveAs, ".dbf|*.dbf", file), file);
  EXPECT_EQ(selected, QStringList{QString::fromStdString(file)});
  EXPECT_FALSE(confirms);
  EXPECT_EQ(testing_support::ReadFileBytes(file), "old");
}

TEST(QtDialogs, CancelledFileDialogReturnsNothing) {
  WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  QtDialogs dialogs;
  EXPECT_EQ(dialogs.ChooseFile(FileDialogKind::kSaveAs, ".dbf|*.dbf", "a.dbf"), std::nullopt);
}

TEST(QtDialogs, InformationBoxHasTheIconTitleTextAndOneOkButton) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title, text;
  QMessageBox::StandardButtons buttons;
  WhenModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    title = box->windowTitle();
    text = box->text();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  QtDialogs().ShowInformation("请不要选择中文名称的文件夹", "Quenmar软件");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(title.toStdString(), "Quenmar软件");
  EXPECT_EQ(text.toStdString(), "请不要选择中文名称的文件夹");
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(QtDialogs, YesNoBoxDefaultsToYesAndReportsTheAnswer) {
  struct Case {
    const char* why;
    std::function<void(QMessageBox*)> answer;
    bool expected;
  };
  const Case cases[] = {
      {"Yes", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }, true},
      {"No", [](QMessageBox* box) { box->button(QMessageBox::No)->click(); }, false},
      {"Enter", [](QMessageBox* box) { box->defaultButton()->click(); }, true},
      {"Esc", [](QMessageBox* box) { box->escapeButton()->click(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    WhenModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      icon = box->icon();
      buttons = box->standardButtons();
      c.answer(box);
    });
    EXPECT_EQ(QtDialogs().AskYesNo("dbf文件已经存在,是否覆盖?", "Quenmar软件"), c.expected);
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
  }
}

}  // namespace
}  // namespace platform::dialogs
