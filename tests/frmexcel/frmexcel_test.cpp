#include "frmexcel/frmexcel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <filesystem>

#include "platform/dialogs/fake_dialogs.h"
#include "platform/dialogs/font_family.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "support/fake_providers.h"
#include "support/temp_dir.h"

namespace frmexcel {
namespace {

using testing_support::FakeProviders;
using testing_support::FakeSheet;
using testing_support::FakeWorkbook;
using testing_support::ReadInsertedValues;
using platform::Variant;
using platform::dialogs::FakeDialogs;
using platform::dialogs::FileDialogKind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kSep = platform::kPathSeparator;

std::string Utf8(const QString& text) { return text.toStdString(); }

FakeSheet ThreeRows() {
  return FakeSheet{{{"Code", 8}, {"名称", 255}},
                   {{Variant::Text("1"), Variant::Text("苹果")},
                    {Variant::Text("2"), Variant()},
                    {Variant::Number(3), Variant::Text("梨")}}};
}

FakeSheet ManyRows(int count) {
  FakeSheet sheet{{{"N", 8}}, {}};
  for (int i = 1; i <= count; ++i) sheet.rows.push_back({Variant::Number(i)});
  return sheet;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(platform::ToFsPath(folder))) {
    names.push_back(platform::FromFsPath(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

class FrmExcelTest : public ::testing::Test {
 protected:
  FrmExcelTest()
      : clock_(platform::LocalTime{2024, 5, 6, 14, 30, 5}),
        services_{platform::RealFileSystem(), clock_, providers_},
        window_(dialogs_, services_),
        workbook_(dir_.File("book.xls")),
        target_(dir_.File("result.dbf")) {
    providers_.only_listed_paths = true;
  }

  template <typename Control>
  Control* Find(const char* name) {
    Control* control = window_.findChild<Control*>(QString::fromUtf8(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* TxtExcel() { return Find<QLineEdit>("txtexcel"); }
  QLineEdit* TxtDbf() { return Find<QLineEdit>("txtdbf"); }
  QLabel* Status() { return Find<QLabel>("lblstat"); }
  void Click(const char* button) { Find<QPushButton>(button)->click(); }

  // Paths typed into the boxes and the workbook behind them.
  void PrepareRun(FakeSheet sheet) {
    FakeWorkbook book;
    book.sheet = std::move(sheet);
    providers_.workbooks_by_path[workbook_] = std::move(book);
    TxtExcel()->setText(QString::fromStdString(workbook_));
    TxtDbf()->setText(QString::fromStdString(target_));
  }

  testing_support::TempDir dir_;
  platform::FixedClock clock_;
  FakeProviders providers_{platform::RealFileSystem()};
  FakeDialogs dialogs_;
  RunServices services_;
  FrmExcel window_;
  std::string workbook_;
  std::string target_;
};

// ---- Layout -------------------------------------------------------------

struct Placement {
  const char* name;
  const char* text;
  QRect rect;  // pixels: the designed twips divided by 15
  double point_size;
};

const Placement kPlacements[] = {
    {"Label2", "Excel文件", QRect(40, 48, 81, 17), 12},
    {"txtexcel", "", QRect(120, 40, 201, 33), 12},
    {"cmdexcel", "浏览", QRect(320, 40, 41, 33), 10.5},
    {"Label3", "Dbf文件", QRect(40, 96, 73, 17), 12},
    {"txtdbf", "", QRect(120, 88, 201, 33), 12},
    {"cmddbf", "浏览", QRect(320, 88, 41, 33), 10.5},
    {"lblstat", "", QRect(40, 136, 249, 17), 10.5},
    {"cmd转换", "转换", QRect(176, 176, 97, 33), 10.5},
    {"cmd退出", "退出", QRect(288, 176, 97, 33), 10.5},
    {"Label1", nullptr, QRect(296, 240, 121, 17), 9},
};

QString ControlText(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* box = qobject_cast<QLineEdit*>(control)) return box->text();
  if (auto* button = qobject_cast<QPushButton*>(control)) return button->text();
  return QString();
}

TEST_F(FrmExcelTest, WindowIsAFixedCentredDialogWithItsCaption) {
  EXPECT_EQ(Utf8(window_.windowTitle()), "转换工具");
  EXPECT_EQ(window_.size(), QSize(468, 268));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
  EXPECT_FALSE(window_.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window_.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window_.windowFlags() & Qt::WindowCloseButtonHint);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window_.geometry().center() - screen.center()).manhattanLength(), 1);
  EXPECT_FALSE(window_.windowIcon().isNull());
  EXPECT_EQ(window_.windowIcon().availableSizes(),
            QList<QSize>({QSize(16, 16), QSize(32, 32)}));
}

TEST(ProgramIcon, IsAGreenSymbolIn256ColoursAtBothSizes) {
  for (int size : {16, 32}) {
    SCOPED_TRACE(size);
    const QImage image(QStringLiteral(":/frmicon/excel2dbf-%1.png").arg(size));
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(image.format(), QImage::Format_Indexed8);
    EXPECT_LE(image.colorCount(), 256);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // transparent round the symbol
    int green = 0, opaque = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (qAlpha(pixel) == 0) continue;
        ++opaque;
        if (qGreen(pixel) > qRed(pixel) + 40 && qGreen(pixel) > qBlue(pixel) + 40) ++green;
      }
    }
    EXPECT_GT(opaque, size * size / 5);
    EXPECT_GT(green, opaque * 9 / 10);
  }
}

TEST_F(FrmExcelTest, EveryControlSitsWhereItWasDesignedWithItsTextAndFont) {
  const QString family = platform::dialogs::ChineseFontFamily(QStringLiteral("SimSun"));
  for (const Placement& placement : kPlacements) {
    SCOPED_TRACE(placement.name);
    auto* control = Find<QWidget>(placement.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), placement.rect);
    if (placement.text != nullptr) {
      EXPECT_EQ(Utf8(ControlText(control)), placement.text);
    }
    EXPECT_EQ(control->font().family(), family);
    EXPECT_DOUBLE_EQ(control->font().pointSizeF(), placement.point_size);
    EXPECT_EQ(control->font().weight(), QFont::Normal);
  }
  EXPECT_DOUBLE_EQ(window_.font().pointSizeF(), 10.5);
}

TEST_F(FrmExcelTest, CreditIsNineChineseCharactersOnOneLine) {
  const QString credit = Find<QLabel>("Label1")->text();
  ASSERT_EQ(credit.size(), 9);
  for (QChar c : credit) EXPECT_TRUE(c.script() == QChar::Script_Han) << Utf8(credit);
}

// Pixels of a widget's rendering that carry text: dark and opaque.
int InkPixels(QWidget& widget) {
  const QImage image = widget.grab().toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) > 128 && qGray(pixel) < 128) ++ink;
    }
  }
  return ink;
}

// The design font is often missing on Linux; whatever stands in for it
// must draw Chinese and still fit every text in its control.
TEST_F(FrmExcelTest, FallbackFontDrawsChineseAndEveryTextFits) {
  const QString family = platform::dialogs::ChineseFontFamily(QStringLiteral("SimSun"));
  EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
      << Utf8(family);
  // The longest status line a sheet of an .xls file can give.
  Status()->setText(QStringLiteral(" 已经导入 65535 条记录 完成"));
  for (const Placement& placement : kPlacements) {
    SCOPED_TRACE(placement.name);
    auto* control = Find<QWidget>(placement.name);
    const QString text = ControlText(control);
    const QFontMetrics metrics(control->font());
    for (QChar c : text) EXPECT_TRUE(metrics.inFont(c)) << Utf8(QString(c));
    if (auto* label = qobject_cast<QLabel*>(control)) {
      // Nothing cut off: the label shows as much ink as a twin with room
      // to spare (grown by an even amount, so the text lands on the same
      // pixel grid).
      QLabel twin(label->text());
      twin.setFont(label->font());
      twin.setAlignment(label->alignment());
      twin.resize(label->size() + QSize(40, 40));
      EXPECT_GT(InkPixels(twin), 0);
      EXPECT_EQ(InkPixels(*label), InkPixels(twin)) << Utf8(text);
    } else if (qobject_cast<QPushButton*>(control)) {
      const int margins = 2 * control->style()->pixelMetric(QStyle::PM_ButtonMargin);
      EXPECT_LE(metrics.horizontalAdvance(text) + margins, control->width()) << Utf8(text);
      EXPECT_LE(metrics.height(), control->height()) << Utf8(text);
    } else {
      EXPECT_LE(metrics.height(), control->height()) << "text box";
    }
  }
}

TEST_F(FrmExcelTest, FocusStartsInTheWorkbookBoxAndTabWalksTheDesignedOrder) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  std::vector<std::string> order;
  for (int i = 0; i < 7; ++i) {
    order.push_back(Utf8(QApplication::focusWidget()->objectName()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_THAT(order, ElementsAre("txtexcel", "cmdexcel", "txtdbf", "cmddbf", "cmd转换", "cmd退出",
                                 "txtexcel"));
}

TEST_F(FrmExcelTest, EnterAndEscPressNoButton) {
  for (QPushButton* button : window_.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << Utf8(button->objectName());
    EXPECT_FALSE(button->autoDefault()) << Utf8(button->objectName());
  }
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  QTest::keyClick(TxtExcel(), Qt::Key_Return);
  QTest::keyClick(TxtExcel(), Qt::Key_Escape);
  EXPECT_TRUE(window_.isVisible());
  EXPECT_TRUE(dialogs_.file_requests.empty());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(Status()->text().isEmpty());
}

// ---- The file choosers --------------------------------------------------

TEST_F(FrmExcelTest, WorkbookChooserOpensXlsAndKeepsItsLastName) {
  const std::string first = dir_.File("一.xls");
  dialogs_.file_answers = {first, std::nullopt};
  Click("cmdexcel");
  EXPECT_EQ(Utf8(TxtExcel()->text()), first);
  TxtExcel()->setText(QStringLiteral("typed.xls"));
  Click("cmdexcel");  // cancelled
  EXPECT_EQ(Utf8(TxtExcel()->text()), "typed.xls");
  ASSERT_EQ(dialogs_.file_requests.size(), 2u);
  for (const auto& request : dialogs_.file_requests) {
    EXPECT_EQ(request.kind, FileDialogKind::kOpen);
    EXPECT_EQ(request.filter, ".xls|*.xls");
  }
  EXPECT_EQ(dialogs_.file_requests[0].file_name, "");
  EXPECT_EQ(dialogs_.file_requests[1].file_name, first);
  EXPECT_TRUE(dialogs_.messages.empty());
}

struct TargetCase {
  const char* why;
  std::string chosen;  // nullopt-like when empty: a cancel
  bool refused;
};

TEST_F(FrmExcelTest, TargetChooserRefusesOnlyChineseFolders) {
  const std::string s(1, kSep);
  const TargetCase cases[] = {
      {"Chinese folder", s + "数据" + s + "out.dbf", true},
      {"Chinese folder further up", s + "报表" + s + "2024" + s + "out.dbf", true},
      {"Chinese file name in a plain folder", s + "out" + s + "数据.dbf", false},
      {"file in the root", s + "out.dbf", false},
      {"no folder at all", "out.dbf", false},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.why);
    dialogs_.messages.clear();
    TxtDbf()->setText(QStringLiteral("before.dbf"));
    dialogs_.file_answers = {c.chosen};
    Click("cmddbf");
    if (c.refused) {
      EXPECT_EQ(Utf8(TxtDbf()->text()), "before.dbf");
      ASSERT_EQ(dialogs_.messages.size(), 1u);
      EXPECT_EQ(dialogs_.messages[0].text, "请不要选择中文名称的文件夹，建议保存到D盘根目录");
      EXPECT_EQ(dialogs_.messages[0].title, "Quenmar软件");
      EXPECT_FALSE(dialogs_.messages[0].yes_no);
    } else {
      EXPECT_EQ(Utf8(TxtDbf()->text()), c.chosen);
      EXPECT_TRUE(dialogs_.messages.empty());
    }
    EXPECT_EQ(dialogs_.file_requests.back().kind, FileDialogKind::kSaveAs);
    EXPECT_EQ(dialogs_.file_requests.back().filter, ".dbf|*.dbf");
  }
}

// Cancelling used to hand back an empty name, which wiped a typed path.
TEST_F(FrmExcelTest, CancelledTargetChooserLeavesTheTypedPath) {
  const std::string typed = dir_.File("typed.dbf");
  TxtDbf()->setText(QString::fromStdString(typed));
  dialogs_.file_answers = {std::nullopt};
  Click("cmddbf");
  EXPECT_EQ(Utf8(TxtDbf()->text()), typed);
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FrmExcelTest, TargetChooserStartsFromItsLastNameEvenWhenRefused) {
  const std::string s(1, kSep);
  const std::string refused = s + "数据" + s + "out.dbf";
  dialogs_.file_answers = {refused, std::nullopt};
  Click("cmddbf");
  Click("cmddbf");
  ASSERT_EQ(dialogs_.file_requests.size(), 2u);
  EXPECT_EQ(dialogs_.file_requests[1].file_name, refused);
}

// ---- Conversion ---------------------------------------------------------

TEST_F(FrmExcelTest, ConversionCountsRowsInTheStatusLineAndFinishes) {
  PrepareRun(ThreeRows());
  Status()->setText(QStringLiteral(" 上次的状态"));
  std::vector<std::string> seen;
  providers_.on_insert = [&](int) {
    seen.push_back(Utf8(Status()->text()));
    // Rows this slow get the window serviced after each of them.
    QThread::msleep(30);
  };
  Click("cmd转换");
  EXPECT_EQ(Utf8(Status()->text()), " 已经导入 3 条记录 完成");
  // Before each insert the label shows the rows done so far; the line is
  // not cleared when a run starts.
  EXPECT_THAT(seen, ElementsAre(" 上次的状态", " 已经导入 1 条记录", " 已经导入 2 条记录"));
  EXPECT_THAT(ReadInsertedValues(target_), ElementsAre("'1','苹果'", "'2',''", "'3','梨'"));
  EXPECT_THAT(FolderEntries(dir_.path()), ElementsAre("result.dbf"));
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FrmExcelTest, ControlsAreDisabledWhileARunIsGoingOn) {
  PrepareRun(ThreeRows());
  const char* locked[] = {"txtexcel", "cmdexcel", "txtdbf", "cmddbf", "cmd转换"};
  bool checked = false;
  providers_.on_insert = [&](int insert) {
    if (insert != 2) return;
    checked = true;
    EXPECT_TRUE(window_.IsRunning());
    for (const char* name : locked) EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(Find<QWidget>("cmd退出")->isEnabled());
  };
  Click("cmd转换");
  EXPECT_TRUE(checked);
  EXPECT_FALSE(window_.IsRunning());
  for (const char* name : locked) EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
}

TEST_F(FrmExcelTest, ExistingTargetIsReplacedWhenTheUserSaysYes) {
  PrepareRun(ThreeRows());
  testing_support::WriteFileBytes(target_, "old");
  dialogs_.yes_no_answers = {true};
  Click("cmd转换");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "dbf文件已经存在,是否覆盖?");
  EXPECT_EQ(dialogs_.messages[0].title, "Quenmar软件");
  EXPECT_TRUE(dialogs_.messages[0].yes_no);
  EXPECT_EQ(ReadInsertedValues(target_).size(), 3u);
  EXPECT_THAT(FolderEntries(dir_.path()), ElementsAre("result.dbf"));
}

TEST_F(FrmExcelTest, ExistingTargetIsKeptWhenTheUserSaysNo) {
  PrepareRun(ThreeRows());
  testing_support::WriteFileBytes(target_, "old");
  dialogs_.yes_no_answers = {false};
  QSignalSpy fatal(&window_, &FrmExcel::fatalError);
  Click("cmd转换");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_TRUE(dialogs_.messages[0].yes_no);
  EXPECT_EQ(testing_support::ReadFileBytes(target_), "old");
  EXPECT_EQ(fatal.count(), 0);
}

TEST_F(FrmExcelTest, ProviderWarningsAddNoMessageBox) {
  PrepareRun(ThreeRows());
  providers_.warnings.listed = {{platform::data::WarningKind::kValueCut, "名称", 2,
                                 "第 2 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节"}};
  Click("cmd转换");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(Utf8(Status()->text()), " 已经导入 3 条记录 完成");
}

// ---- Failures -----------------------------------------------------------

TEST_F(FrmExcelTest, ErrorIsShownWithNumberAndDescriptionThenTheProgramEnds) {
  PrepareRun(ThreeRows());
  TxtExcel()->setText(QString::fromStdString(dir_.File("missing.xls")));
  QSignalSpy fatal(&window_, &FrmExcel::fatalError);
  Click("cmd转换");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_THAT(dialogs_.messages[0].text, HasSubstr("53"));
  EXPECT_THAT(dialogs_.messages[0].text, HasSubstr("找不到文件"));
  EXPECT_EQ(dialogs_.messages[0].title, "Quenmar软件");
  EXPECT_FALSE(dialogs_.messages[0].yes_no);
  ASSERT_EQ(fatal.count(), 1);
  EXPECT_NE(fatal.at(0).at(0).toInt(), 0);
}

TEST_F(FrmExcelTest, ErrorMidRunLeavesTheLastGoodCountOnScreenDuringTheReport) {
  PrepareRun(ThreeRows());
  providers_.on_insert = [](int insert) {
    if (insert == 2) platform::Raise(1234, "插入失败");
  };
  std::string status_during_report;
  dialogs_.on_message = [&](const FakeDialogs::Message&) {
    status_during_report = Utf8(Status()->text());
  };
  Click("cmd转换");
  EXPECT_EQ(status_during_report, " 已经导入 1 条记录");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_THAT(dialogs_.messages[0].text, HasSubstr("1234"));
  EXPECT_THAT(dialogs_.messages[0].text, HasSubstr("插入失败"));
}

// The program's event loop returns the failure status once the report is
// closed, as main() hands it to the system.
TEST_F(FrmExcelTest, EventLoopEndsWithAFailureStatusAfterTheReport) {
  TxtExcel()->setText(QString::fromStdString(dir_.File("missing.xls")));
  QObject::connect(&window_, &FrmExcel::fatalError, &window_,
                   [](int status) { QCoreApplication::exit(status); });
  window_.show();
  QTimer::singleShot(0, &window_, [this] { Click("cmd转换"); });
  EXPECT_EQ(QApplication::exec(), kFailureExitStatus);
  EXPECT_EQ(dialogs_.messages.size(), 1u);
}

// ---- Closing during a run -----------------------------------------------

struct CloseCase {
  const char* why;
  std::function<void(FrmExcel&)> close;
};

TEST_F(FrmExcelTest, ClosingMidRunStopsTheRunAndLeavesNoStagingFile) {
  const CloseCase cases[] = {
      {"Exit button",
       [](FrmExcel& window) {
         QMetaObject::invokeMethod(window.findChild<QPushButton*>(QStringLiteral("cmd退出")),
                                   "click", Qt::QueuedConnection);
       }},
      {"close box",
       [](FrmExcel& window) {
         QMetaObject::invokeMethod(&window, "close", Qt::QueuedConnection);
       }},
  };
  for (const CloseCase& c : cases) {
    SCOPED_TRACE(c.why);
    PrepareRun(ManyRows(50));
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    int inserted = 0;
    providers_.on_insert = [&](int insert) {
      inserted = insert;
      if (insert == 5) {
        c.close(window_);
        // Long enough that the next yield services the window.
        QThread::msleep(60);
      }
    };
    QSignalSpy fatal(&window_, &FrmExcel::fatalError);
    Click("cmd转换");
    EXPECT_FALSE(window_.isVisible());
    EXPECT_FALSE(window_.IsRunning());
    EXPECT_LT(inserted, 50);
    EXPECT_EQ(fatal.count(), 0);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
  }
}

}  // namespace
}  // namespace frmexcel
