#include "platform/window/qt/qt_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <stdexcept>

#include "frmicon/frmicon.h"
#include "platform/window/qt/font_family.h"

namespace platform::window {
namespace {

// Qt lays out in device-independent pixels, 96 to the inch, and scales
// them to the screen itself.
constexpr int kLogicalDpi = 96;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect FromTwips(const TwipsRect& rect) {
  return QRect(TwipsToPixels(rect.left, kLogicalDpi), TwipsToPixels(rect.top, kLogicalDpi),
               TwipsToPixels(rect.width, kLogicalDpi), TwipsToPixels(rect.height, kLogicalDpi));
}

QFont ToQFont(const Font& font) {
  QFont qfont(ChineseFontFamily(FromUtf8(font.family)));
  qfont.setPointSizeF(font.point_size);
  qfont.setWeight(static_cast<QFont::Weight>(font.weight));
  return qfont;
}

std::vector<std::string> LocalPaths(const QMimeData* mime) {
  std::vector<std::string> paths;
  if (mime == nullptr) return paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
  }
  return paths;
}

// Each kind of control as Qt draws it.
QWidget* MakeControl(const Control& control, QWidget* parent) {
  const QString text = FromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::kLabel:
      return new QLabel(text, parent);
    case ControlKind::kTextBox: {
      auto* box = new QLineEdit(text, parent);
      // A drop lands on the window, which tells the form where it fell;
      // the box itself would paste the file's URL as text.
      box->setAcceptDrops(false);
      return box;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
  }
  throw std::logic_error("unknown control kind");
}

}  // namespace

// The form's top-level widget: it hands the close box, drops and Enter on
// a button to the form's events.
class FormWidget : public QWidget {
 public:
  explicit FormWidget(FormEvents& events)
      : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                             Qt::MSWindowsFixedSizeDialogHint),
        events_(events) {
    setAcceptDrops(true);
  }

  // Runs when the window has closed for good.
  std::function<void()> on_closed;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!events_.OnClose()) {
      event->ignore();
      return;
    }
    event->accept();
    if (on_closed) on_closed();
  }

  void dragEnterEvent(QDragEnterEvent* event) override {
    if (!LocalPaths(event->mimeData()).empty()) event->acceptProposedAction();
  }

  void dropEvent(QDropEvent* event) override {
    const std::vector<std::string> paths = LocalPaths(event->mimeData());
    if (paths.empty()) return;
    QWidget* control = childAt(event->position().toPoint());
    while (control != nullptr && control->parentWidget() != this) control = control->parentWidget();
    if (control != nullptr && !control->isEnabled()) return;
    event->acceptProposedAction();
    events_.OnDrop(control == nullptr ? std::string() : control->objectName().toStdString(), paths);
  }

  // Enter presses the focused button, as Space does; the buttons are
  // never default buttons, so Qt alone would ignore it.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || !button->isEnabled()) return false;
    button->click();
    return true;
  }

 private:
  FormEvents& events_;
};

bool PrepareApplication(QApplication& app) {
  QApplication::setApplicationName(QStringLiteral("excel2dbf"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  QApplication::setDesktopFileName(QStringLiteral("excel2dbf"));
  QApplication::setWindowIcon(frmicon::ProgramIcon());
  // The users read Chinese whatever language the system is set to: dates
  // and sizes in the file dialogs, and Qt's own buttons and labels.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

std::unique_ptr<Window> MakeWindow(int& argc, char** argv) {
  auto app = std::make_unique<QApplication>(argc, argv);
  PrepareApplication(*app);
  return std::make_unique<QtWindow>(std::move(app));
}

QtWindow::QtWindow(std::unique_ptr<QApplication> app) : app_(std::move(app)) {}

QtWindow::~QtWindow() = default;

QWidget* QtWindow::Widget() const { return widget_.get(); }

QWidget& QtWindow::At(std::string_view control) const {
  const auto found = controls_.find(control);
  if (found == controls_.end()) throw std::logic_error("no control " + std::string(control));
  return *found->second;
}

void QtWindow::Build(const Form& form, FormEvents& events) {
  if (widget_) throw std::logic_error("window built twice");
  widget_ = std::make_unique<FormWidget>(events);
  widget_->on_closed = [this] {
    if (!quit_status_) QCoreApplication::exit(0);
  };
  widget_->setObjectName(FromUtf8(form.name));
  widget_->setWindowTitle(FromUtf8(form.caption));
  widget_->setWindowIcon(frmicon::ProgramIcon());
  widget_->setFont(ToQFont(form.font));
  widget_->setFixedSize(TwipsToPixels(form.client_width, kLogicalDpi),
                        TwipsToPixels(form.client_height, kLogicalDpi));
  // Created in tab order, which Qt takes as the focus chain (labels take
  // no focus).
  std::vector<const Control*> ordered;
  for (const Control& control : form.controls) ordered.push_back(&control);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
  QWidget* first_focus = nullptr;
  for (const Control* control : ordered) {
    QWidget* widget = MakeControl(*control, widget_.get());
    widget->setObjectName(FromUtf8(control->name));
    widget->setGeometry(FromTwips(control->rect));
    if (control->font) widget->setFont(ToQFont(*control->font));
    if (control->kind == ControlKind::kButton) {
      widget->installEventFilter(widget_.get());
      QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, widget_.get(),
                       [&events, name = control->name] { events.OnClick(name); });
    }
    if (control->kind != ControlKind::kLabel && first_focus == nullptr) first_focus = widget;
    controls_[control->name] = widget;
  }
  if (first_focus != nullptr) first_focus->setFocus();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    widget_->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, widget_->size(),
                                             screen->availableGeometry()));
  }
}

int QtWindow::Run() {
  if (quit_status_) return *quit_status_;
  widget_->show();
  const int status = QApplication::exec();
  return quit_status_.value_or(status);
}

void QtWindow::Quit(int exit_status) {
  quit_status_ = exit_status;
  QCoreApplication::exit(exit_status);
}

void QtWindow::Close() { widget_->close(); }

std::string QtWindow::Text(std::string_view control) const {
  QWidget& widget = At(control);
  if (auto* label = qobject_cast<QLabel*>(&widget)) return label->text().toStdString();
  if (auto* box = qobject_cast<QLineEdit*>(&widget)) return box->text().toStdString();
  return static_cast<QPushButton&>(widget).text().toStdString();
}

void QtWindow::SetText(std::string_view control, std::string_view text) {
  QWidget& widget = At(control);
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    label->setText(FromUtf8(text));
  } else if (auto* box = qobject_cast<QLineEdit*>(&widget)) {
    box->setText(FromUtf8(text));
  } else {
    static_cast<QPushButton&>(widget).setText(FromUtf8(text));
  }
}

void QtWindow::Enable(std::string_view control, bool enabled) { At(control).setEnabled(enabled); }

void QtWindow::Focus(std::string_view control) { At(control).setFocus(); }

void QtWindow::ProcessPendingEvents() { QCoreApplication::processEvents(); }

}  // namespace platform::window
