// The Qt face on its own: a small form of its own, the dialogs and the
// message boxes, offscreen.
#include "platform/window/qt/qt_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "platform/window/qt/font_family.h"
#include "platform/filesystem/filesystem.h"
#include "support/temp_dir.h"

namespace platform::window {
namespace {

using ::testing::ElementsAre;

TEST(QtNameFilters, ShowsEachEntryAsDescriptionAndPatterns) {
  EXPECT_EQ(QtNameFilters(".xls|*.xls").toStdString(), ".xls (*.xls)");
  EXPECT_EQ(QtNameFilters("工作簿|*.xls;*.xlt|全部|*.*").toStdString(),
            "工作簿 (*.xls *.xlt);;全部 (*.*)");
  EXPECT_EQ(QtNameFilters("Excel 工作簿|*.xls;*.xlsx;*.xlsm|.xls|*.xls").toStdString(),
            "Excel 工作簿 (*.xls *.xlsx *.xlsm);;.xls (*.xls)");
}

TEST(ChineseFontFamily, FindsAFaceThatDrawsSimplifiedChinese) {
  for (const char* preferred : {"宋体", "SimSun"}) {
    const QString family = ChineseFontFamily(QString::fromUtf8(preferred));
    EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        << family.toStdString();
  }
  // An installed family is taken as it is.
  const QString installed = QFontDatabase::families().front();
  EXPECT_EQ(ChineseFontFamily(installed), installed);
}

// What the user did, as the face reported it.
struct Recorder : FormEvents {
  std::vector<std::string> clicks;
  std::vector<std::pair<std::string, std::vector<std::string>>> drops;
  int closes = 0;
  bool allow_close = true;
  void OnClick(std::string_view control) override { clicks.emplace_back(control); }
  bool OnClose() override {
    ++closes;
    return allow_close;
  }
  void OnDrop(std::string_view control, const std::vector<std::string>& paths) override {
    drops.emplace_back(std::string(control), paths);
  }
};

Form SmallForm() {
  const Font font{"宋体", 10.5, 400, 134};
  return Form{"small",
              "小窗口",
              3000,
              1500,
              font,
              {
                  {"box", ControlKind::kTextBox, "", {0, 0, 1500, 495}, {}, 1},
                  {"label", ControlKind::kLabel, "标签", {0, 600, 1500, 255}, {}, 0},
                  {"ok", ControlKind::kButton, "好", {1500, 0, 900, 495}, {}, 2},
                  {"other", ControlKind::kButton, "另一个", {1500, 600, 900, 495}, {}, 3},
              }};
}

class QtFaceTest : public ::testing::Test {
 protected:
  QtFaceTest() { window_.Build(SmallForm(), events_); }
  QWidget* Control(const char* name) {
    return window_.Widget()->findChild<QWidget*>(QString::fromUtf8(name));
  }
  void ShowAndActivate() {
    window_.Widget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.Widget()));
  }

  Recorder events_;
  QtWindow window_;
};

// A dialog window with a close box and nothing to minimise, maximise or
// resize.
TEST_F(QtFaceTest, WindowIsAFixedDialogWithoutAMinimiseButton) {
  const Qt::WindowFlags flags = window_.Widget()->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(window_.Widget()->size(), QSize(200, 100));
  EXPECT_EQ(window_.Widget()->minimumSize(), window_.Widget()->maximumSize());
}

TEST_F(QtFaceTest, TextsAreReadAndSetByControlName) {
  window_.SetText("box", "甲乙");
  window_.SetText("label", " 已经导入 1 条记录");
  window_.SetText("ok", "确定");
  EXPECT_EQ(window_.Text("box"), "甲乙");
  EXPECT_EQ(window_.Text("label"), " 已经导入 1 条记录");
  EXPECT_EQ(window_.Text("ok"), "确定");
  EXPECT_THROW(window_.Text("nothing"), std::logic_error);
  window_.Enable("ok", false);
  EXPECT_FALSE(Control("ok")->isEnabled());
}

// Enter presses the focused button, as Space does; no button is the
// default, so Enter in a text box, and Esc, press nothing.
TEST_F(QtFaceTest, EnterAndSpacePressTheFocusedButtonOnly) {
  ShowAndActivate();
  for (QPushButton* button : window_.Widget()->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
  }
  EXPECT_EQ(QApplication::focusWidget(), Control("box"));
  QTest::keyClick(Control("box"), Qt::Key_Return);
  QTest::keyClick(Control("box"), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(Control("box"), Qt::Key_Escape);
  EXPECT_TRUE(events_.clicks.empty());
  window_.Focus("other");
  QTest::keyClick(Control("other"), Qt::Key_Return);
  QTest::keyClick(Control("other"), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(Control("other"), Qt::Key_Space);
  QTest::keyClick(Control("other"), Qt::Key_Escape);
  EXPECT_THAT(events_.clicks, ElementsAre("other", "other", "other"));
  EXPECT_TRUE(window_.Widget()->isVisible());
  EXPECT_EQ(events_.closes, 0);
}

// Drops a local file on `target` (nullptr: the window's corner), as Qt
// delivers it from a file manager: a drag entering the widget under the
// pointer, then the drop on it.
void DropFile(QWidget& window, QWidget* target, const QString& path) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  QWidget* under = target == nullptr ? &window : target;
  const QPoint at = target == nullptr ? QPoint(window.width() - 2, window.height() - 2)
                                      : QPoint(target->width() / 2, target->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(under, &enter);
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(under, &drop);
}

TEST_F(QtFaceTest, DropsAreReportedWithTheControlTheyLandOn) {
  ShowAndActivate();
  const QString path = QStringLiteral("/tmp/簿.xls");
  DropFile(*window_.Widget(), Control("box"), path);
  DropFile(*window_.Widget(), Control("label"), path);
  DropFile(*window_.Widget(), nullptr, path);
  window_.Enable("ok", false);
  DropFile(*window_.Widget(), Control("ok"), path);  // disabled: no drop
  ASSERT_EQ(events_.drops.size(), 3u);
  EXPECT_EQ(events_.drops[0].first, "box");
  EXPECT_EQ(events_.drops[1].first, "label");
  EXPECT_EQ(events_.drops[2].first, "");
  EXPECT_THAT(events_.drops[0].second, ElementsAre("/tmp/簿.xls"));
  // The box does not paste the file's address as text.
  EXPECT_EQ(window_.Text("box"), "");
}

TEST_F(QtFaceTest, CloseAsksTheFormAndRunEndsWhenTheWindowHasClosed) {
  events_.allow_close = false;
  QTimer::singleShot(0, [this] {
    window_.Close();  // refused: the window stays
    EXPECT_TRUE(window_.Widget()->isVisible());
    events_.allow_close = true;
    window_.Close();
  });
  EXPECT_EQ(window_.Run(), 0);
  EXPECT_EQ(events_.closes, 2);
  EXPECT_FALSE(window_.Widget()->isVisible());
}

TEST_F(QtFaceTest, RunReturnsTheStatusQuitGives) {
  QTimer::singleShot(0, [this] { window_.Quit(1); });
  EXPECT_EQ(window_.Run(), 1);
}

// ---- Dialogs --------------------------------------------------------------

// Runs `answer` on the modal widget once the dialog under test is up.
void WhenModal(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    answer(modal);
  });
}

TEST_F(QtFaceTest, OpenDialogIsChineseShowsTheFilterAndReturnsTheChosenFile) {
  testing_support::TempDir dir;
  const std::string file = dir.File("簿.xls");
  testing_support::WriteFileBytes(file, "x");
  QStringList filters;
  QString title, accept;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptSave;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    mode = dialog->acceptMode();
    title = dialog->windowTitle();
    accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->text();
    dialog->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(dialog)->accept();  // the dialog's own check runs
  });
  EXPECT_EQ(window_.ChooseFile({FileDialogKind::kOpen, ".xls|*.xls", "", ""}), file);
  EXPECT_EQ(filters, QStringList{QStringLiteral(".xls (*.xls)")});
  EXPECT_EQ(mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(title.toStdString(), "打开");
  EXPECT_EQ(accept.toStdString(), "打开(&O)");
}

// Types `name` into the Save As dialog's name box and accepts.
void SaveAs(QWidget* modal, const QString& name, QString* title = nullptr) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  ASSERT_NE(dialog, nullptr);
  if (title != nullptr) *title = dialog->windowTitle();
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
  static_cast<QDialog*>(dialog)->accept();
}

TEST_F(QtFaceTest, SaveAsAddsTheDefaultExtensionToANameWithoutOne) {
  testing_support::TempDir dir;
  const std::string folder = dir.path() + "/";
  struct Case {
    const char* typed;
    const char* returned;
  };
  for (const Case& c : {Case{"报表", "报表.dbf"}, Case{"out.dbf", "out.dbf"},
                        Case{"out.DBF", "out.DBF"}, Case{"out.txt", "out.txt"}}) {
    SCOPED_TRACE(c.typed);
    QString title;
    WhenModal([&](QWidget* modal) { SaveAs(modal, QString::fromUtf8(c.typed), &title); });
    EXPECT_EQ(window_.ChooseFile({FileDialogKind::kSaveAs, ".dbf|*.dbf", folder + "x.dbf", "dbf"}),
              folder + c.returned);
    EXPECT_EQ(title.toStdString(), "另存为");
  }
}

TEST_F(QtFaceTest, SaveAsStartsFromTheGivenNameAndNeverAsksAboutOverwriting) {
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
  EXPECT_EQ(window_.ChooseFile({FileDialogKind::kSaveAs, ".dbf|*.dbf", file, "dbf"}), file);
  EXPECT_EQ(selected, QStringList{QString::fromStdString(file)});
  EXPECT_FALSE(confirms);
  EXPECT_EQ(testing_support::ReadFileBytes(file), "old");
}

TEST_F(QtFaceTest, CancelledFileDialogReturnsNothing) {
  WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_EQ(window_.ChooseFile({FileDialogKind::kSaveAs, ".dbf|*.dbf", "a.dbf", "dbf"}),
            std::nullopt);
}

// The texts of the detail view's size and type columns that do not fit
// their column, with the dialog opened on `folder`. `before` runs on the
// dialog first.
std::vector<std::string> CutDetails(QtWindow& window, const std::string& folder,
                                    const std::function<void(QTreeView*)>& before = {}) {
  std::vector<std::string> cut;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->setViewMode(QFileDialog::Detail);
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    const QModelIndex root = tree->rootIndex();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->model()->rowCount(root) == 2; }));
    if (before) before(tree);
    for (int row = 0; row < 2; ++row) {
      for (int column = 1; column <= 2; ++column) {
        const QModelIndex index = tree->model()->index(row, column, root);
        const QString text = index.data().toString();
        if (tree->fontMetrics().horizontalAdvance(text) > tree->visualRect(index).width()) {
          cut.push_back(text.toStdString());
        }
      }
    }
    dialog->reject();
  });
  window.ChooseFile({FileDialogKind::kOpen, ".xls|*.xls", folder, ""});
  return cut;
}

// The detail view's size and type columns show their texts whole, also
// after a user once narrowed them (Qt keeps the dialog's columns between
// uses, in the settings under the test's own configuration folder). The
// big file is sparse: it takes no room.
TEST_F(QtFaceTest, OpenDialogShowsSizesAndTypesWhole) {
  testing_support::TempDir dir;
  for (const char* name : {"一月工资表.xls", "大.xls"}) {
    testing_support::WriteFileBytes(dir.File(name), "x");
  }
  std::filesystem::resize_file(platform::ToFsPath(dir.File("大.xls")), 40'370'176);
  const std::string folder = dir.path() + "/";
  EXPECT_THAT(CutDetails(window_, folder), ::testing::IsEmpty());
  CutDetails(window_, folder, [](QTreeView* tree) {
    tree->header()->resizeSection(1, 30);
    tree->header()->resizeSection(2, 30);
  });
  EXPECT_THAT(CutDetails(window_, folder), ::testing::IsEmpty());
}

// The box's icon, title, text and its one button, and what Enter does.
struct BoxSeen {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title, text;
  QMessageBox::StandardButtons buttons;
  std::vector<std::string> button_texts;
};

void LookAtBox(QWidget* modal, BoxSeen& seen) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  ASSERT_NE(box, nullptr);
  seen.icon = box->icon();
  seen.title = box->windowTitle();
  seen.text = box->text();
  seen.buttons = box->standardButtons();
  for (QAbstractButton* button : box->buttons()) seen.button_texts.push_back(button->text().toStdString());
}

TEST_F(QtFaceTest, MessageBoxHasItsIconTitleTextAndOneChineseOkButton) {
  struct Case {
    MessageIcon icon;
    QMessageBox::Icon shown;
  };
  for (const Case& c : {Case{MessageIcon::kInformation, QMessageBox::Information},
                        Case{MessageIcon::kError, QMessageBox::Critical}}) {
    BoxSeen seen;
    WhenModal([&](QWidget* modal) {
      LookAtBox(modal, seen);
      qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    window_.ShowMessage(c.icon, "错误 53：文件未找到", "Quenmar软件");
    EXPECT_EQ(seen.icon, c.shown);
    EXPECT_EQ(seen.title.toStdString(), "Quenmar软件");
    EXPECT_EQ(seen.text.toStdString(), "错误 53：文件未找到");
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_THAT(seen.button_texts, ElementsAre("确定"));
  }
}

TEST_F(QtFaceTest, YesNoBoxIsChineseDefaultsToYesAndReportsTheAnswer) {
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
    BoxSeen seen;
    WhenModal([&](QWidget* modal) {
      LookAtBox(modal, seen);
      c.answer(qobject_cast<QMessageBox*>(modal));
    });
    EXPECT_EQ(window_.AskYesNo("dbf文件已经存在,是否覆盖?", "Quenmar软件"), c.expected);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_THAT(seen.button_texts, ::testing::UnorderedElementsAre("是(&Y)", "否(&N)"));
  }
}

}  // namespace
}  // namespace platform::window
