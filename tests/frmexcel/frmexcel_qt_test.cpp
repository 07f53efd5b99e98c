// The form as the Qt face draws it: what only a real toolkit can show
// (pixels, fonts, focus, keys, the event loop), offscreen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "frmexcel/frmexcel.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/window/qt/font_family.h"
#include "platform/window/qt/qt_window.h"
#include "support/fake_providers.h"
#include "support/temp_dir.h"

namespace frmexcel {
namespace {

using platform::Variant;
using testing_support::FakeProviders;
using testing_support::FakeSheet;
using testing_support::FakeWorkbook;
using ::testing::ElementsAre;
using namespace std::chrono_literals;

std::string Utf8(const QString& text) { return text.toStdString(); }

class FrmExcelQtTest : public ::testing::Test {
 protected:
  FrmExcelQtTest()
      : clock_(platform::LocalTime{2024, 5, 6, 14, 30, 5}),
        services_{platform::RealFileSystem(), clock_, providers_},
        form_(window_, services_) {
    providers_.only_listed_paths = true;
  }

  QWidget& Widget() { return *window_.Widget(); }
  template <typename Control>
  Control* Find(std::string_view name) {
    auto* control = Widget().findChild<Control*>(QString::fromUtf8(name.data(), name.size()));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  void ShowAndActivate() {
    Widget().show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Widget()));
  }

  testing_support::TempDir dir_;
  platform::FixedClock clock_;
  FakeProviders providers_{platform::RealFileSystem()};
  platform::window::QtWindow window_;
  RunServices services_;
  FrmExcel form_;
};

// ---- Layout -------------------------------------------------------------

struct Placement {
  const char* name;
  const char* text;
  QRect rect;  // pixels: the table's twips divided by 15
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

TEST_F(FrmExcelQtTest, WindowIsAFixedCentredDialogWithItsCaption) {
  EXPECT_EQ(Utf8(Widget().windowTitle()), "转换工具");
  EXPECT_EQ(Utf8(Widget().objectName()), "frmexcel");
  EXPECT_EQ(Widget().size(), QSize(468, 268));
  EXPECT_EQ(Widget().minimumSize(), Widget().maximumSize());
  EXPECT_EQ(Widget().windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_FALSE(Widget().windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(Widget().windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Widget().windowFlags() & Qt::WindowCloseButtonHint);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((Widget().geometry().center() - screen.center()).manhattanLength(), 1);
  EXPECT_FALSE(Widget().windowIcon().isNull());
  EXPECT_EQ(Widget().windowIcon().availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
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

TEST_F(FrmExcelQtTest, EveryControlSitsWhereTheTableSaysWithItsTextAndFont) {
  const QString family = platform::window::ChineseFontFamily(QStringLiteral("宋体"));
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
  EXPECT_DOUBLE_EQ(Widget().font().pointSizeF(), 10.5);
}

TEST_F(FrmExcelQtTest, CreditIsNineChineseCharactersOnOneLine) {
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

// Nothing cut off: the label shows as much ink as a twin with room to
// spare (grown by an even amount, so the text lands on the same pixel
// grid).
void ExpectLabelShowsAll(QLabel& label) {
  QLabel twin(label.text());
  twin.setFont(label.font());
  twin.setAlignment(label.alignment());
  twin.resize(label.size() + QSize(40, 40));
  EXPECT_GT(InkPixels(twin), 0);
  EXPECT_EQ(InkPixels(label), InkPixels(twin)) << Utf8(label.text());
}

void ExpectTextFits(QWidget* control) {
  const QString text = ControlText(control);
  const QFontMetrics metrics(control->font());
  for (QChar c : text) EXPECT_TRUE(metrics.inFont(c)) << Utf8(QString(c));
  if (auto* label = qobject_cast<QLabel*>(control)) {
    if (!text.isEmpty()) ExpectLabelShowsAll(*label);
  } else if (qobject_cast<QPushButton*>(control)) {
    const int margins = 2 * control->style()->pixelMetric(QStyle::PM_ButtonMargin);
    EXPECT_LE(metrics.horizontalAdvance(text) + margins, control->width()) << Utf8(text);
    EXPECT_LE(metrics.height(), control->height()) << Utf8(text);
  } else {
    EXPECT_LE(metrics.height(), control->height()) << "text box";
  }
}

// SimSun is often missing on Linux; whatever stands in for it must draw
// Chinese and still fit every text in its control.
TEST_F(FrmExcelQtTest, FallbackFontDrawsChineseAndEveryTextFits) {
  const QString family = platform::window::ChineseFontFamily(QStringLiteral("宋体"));
  EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
      << Utf8(family);
  for (const Placement& placement : kPlacements) {
    SCOPED_TRACE(placement.name);
    ExpectTextFits(Find<QWidget>(placement.name));
  }
  // Every status line the form writes, the longest count an .xls sheet
  // can give among them.
  for (const char* status : {" 已经导入 65535 条记录 完成", kReadingStatus, kNoRowsStatus,
                             kDeclinedStatus}) {
    SCOPED_TRACE(status);
    window_.SetText(kLblStat, status);
    ExpectTextFits(Find<QWidget>(kLblStat));
  }
}

TEST_F(FrmExcelQtTest, FocusStartsInTheWorkbookBoxAndTabWalksTheTableOrder) {
  ShowAndActivate();
  std::vector<std::string> order;
  for (int i = 0; i < 7; ++i) {
    order.push_back(Utf8(QApplication::focusWidget()->objectName()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_THAT(order, ElementsAre("txtexcel", "cmdexcel", "txtdbf", "cmddbf", "cmd转换", "cmd退出",
                                 "txtexcel"));
}

TEST_F(FrmExcelQtTest, EnterInABoxPressesNothingAndOnAButtonPressesIt) {
  ShowAndActivate();
  QTest::keyClick(Find<QWidget>(kTxtExcel), Qt::Key_Return);
  QTest::keyClick(Find<QWidget>(kTxtExcel), Qt::Key_Escape);
  EXPECT_TRUE(Widget().isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(Find<QLabel>(kLblStat)->text().isEmpty());
  Find<QWidget>(kCmdExit)->setFocus();
  QTest::keyClick(Find<QWidget>(kCmdExit), Qt::Key_Return);
  EXPECT_FALSE(Widget().isVisible());
}

// A slow run gets the window serviced between rows: a close lands there,
// stops the run after its row and closes the window.
TEST_F(FrmExcelQtTest, CloseBoxMidRunStopsTheRunAndClosesTheWindow) {
  FakeSheet sheet{{{"N", 8}}, {}};
  for (int i = 1; i <= 50; ++i) sheet.rows.push_back({Variant::Number(i)});
  const std::string workbook = dir_.File("book.xls");
  providers_.workbooks_by_path[workbook] = FakeWorkbook{{"Sheet1$"}, sheet};
  window_.SetText(kTxtExcel, workbook);
  window_.SetText(kTxtDbf, dir_.File("result.dbf"));
  ShowAndActivate();
  int inserted = 0;
  providers_.on_insert = [&](int insert) {
    inserted = insert;
    if (insert == 5) QMetaObject::invokeMethod(&Widget(), "close", Qt::QueuedConnection);
    clock_.Advance(30ms);
  };
  Find<QPushButton>(kCmdConvert)->click();
  EXPECT_FALSE(Widget().isVisible());
  EXPECT_EQ(inserted, 5);  // the close is handled in the yield after row 5
  EXPECT_TRUE(std::filesystem::is_empty(platform::ToFsPath(dir_.path())));
}

// The error box is shown, and once it is closed the event loop returns
// the failure status, as main() hands it to the system.
TEST_F(FrmExcelQtTest, EventLoopEndsWithAFailureStatusAfterTheErrorBox) {
  window_.SetText(kTxtExcel, dir_.File("missing.xls"));
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  // The run services the window before the box is up: look at every turn
  // of the event loop until it is.
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    look.stop();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  look.start(0);
  QTimer::singleShot(0, [&] { Find<QPushButton>(kCmdConvert)->click(); });
  EXPECT_EQ(window_.Run(), kFailureExitStatus);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace frmexcel
