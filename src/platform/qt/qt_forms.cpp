// The Qt forms backend. See qt_forms.h.
//
// Each control has a peer holding its widget. The model lays the controls
// out and the peer places its widget at the control's bounds inside its
// container's widget. Programmatic updates of a widget run with its signals
// blocked, so only a user's edits reach the model, through the same user
// path the headless scripts use.
#include "platform/qt/qt_forms.h"

#include <cmath>

#include "platform/qt/qt_app_messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <functional>

#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_menus.h"

namespace {

QString ToQt(const std::string& s) { return QString::fromStdString(s); }
std::string FromQt(const QString& s) { return s.toStdString(); }

// A caption without its accelerator marks, for widgets that show "&".
QString PlainText(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return ToQt(out);
}

// The picture of a bitmap as a QImage.
QImage ToQImage(const TBitmap& bitmap) {
  int w = bitmap.Width(), h = bitmap.Height();
  QImage image(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
  std::vector<TColor> pixels = bitmap.Pixels();
  if (pixels.size() < size_t(w) * size_t(h)) {
    image.fill(Qt::white);
    return image;
  }
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      TColor c = pixels[size_t(y) * size_t(w) + size_t(x)];
      line[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
    }
  }
  return image;
}

// The WCAG relative luminance of a colour and the contrast of two.
double Luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor ReadableTextColor(const QColor& text, const QColor& face) {
  // Enough contrast for a caption to read as an enabled one: a grey or a
  // yellow on a light face looks disabled or vanishes. The hue stays; the
  // colour goes darker on a light face and lighter on a dark one.
  constexpr double kEnough = 7.0;
  if (Contrast(text, face) >= kEnough) return text;
  const bool darker = Luminance(face) > 0.18;
  const QColor end = darker ? QColor(Qt::black) : QColor(Qt::white);
  QColor c = text;
  for (int step = 1; step <= 20 && Contrast(c, face) < kEnough; ++step) {
    const double t = step / 20.0;
    c = QColor::fromRgbF(float(text.redF() + (end.redF() - text.redF()) * t),
                         float(text.greenF() + (end.greenF() - text.greenF()) * t),
                         float(text.blueF() + (end.blueF() - text.blueF()) * t));
  }
  return c;
}

namespace {

// Which control a widget (or one of its inner widgets) belongs to.
QHash<QWidget*, TControl*>& ControlOfWidget() {
  static QHash<QWidget*, TControl*> map;
  return map;
}

// The control a key typed into w (or the focus in w) belongs to. The walk
// up stops at the first window that is no form of ours: a file dialog or an
// open menu on top of a form keeps its keys, they are not the form's.
TControl* ControlAt(QWidget* w) {
  for (; w; w = w->parentWidget()) {
    auto it = ControlOfWidget().find(w);
    if (it != ControlOfWidget().end()) return it.value();
    if (w->isWindow()) return nullptr;
  }
  return nullptr;
}

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons buttons = Qt::NoButton) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton& out) {
  switch (b) {
    case Qt::LeftButton: out = mbLeft; return true;
    case Qt::RightButton: out = mbRight; return true;
    case Qt::MiddleButton: out = mbMiddle; return true;
    default: return false;
  }
}

// ------------------------------------------------------------ custom widgets

// A panel: a bevelled frame with its caption.
class TQtPanelWidget : public QFrame {
 public:
  TQtPanelWidget(TPanel& panel, QWidget* parent) : QFrame(parent), panel_(panel) {}

 protected:
  void paintEvent(QPaintEvent* e) override {
    QFrame::paintEvent(e);
    QPainter p(this);
    if (panel_.Color() != clDefault) p.fillRect(contentsRect(), ToQColor(panel_.Color()));
    if (panel_.Caption().empty()) return;
    p.setPen(panel_.FontColor() == clDefault ? palette().color(QPalette::WindowText) : ToQColor(panel_.FontColor()));
    QRect r = contentsRect().adjusted(4, 2, -4, -2);
    int flags = Qt::TextSingleLine;
    if (!panel_.Children().empty()) {
      flags |= panel_.Flow() == TFlow::Horizontal ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignHCenter | Qt::AlignTop;
    } else {
      flags |= Qt::AlignVCenter | (panel_.Alignment() == taLeftJustify    ? Qt::AlignLeft
                                   : panel_.Alignment() == taRightJustify ? Qt::AlignRight
                                                                          : Qt::AlignHCenter);
    }
    // A line taller than the margins leave (a name in a 15-pixel frame)
    // takes the frame's whole height, its foot on the frame's floor when it
    // is taller still: the tails of g and y show, the line's blank top goes.
    if (fontMetrics().height() > r.height()) {
      r.setTop(contentsRect().top());
      r.setBottom(contentsRect().bottom());
      if ((flags & Qt::AlignVCenter) && fontMetrics().height() > r.height()) flags ^= Qt::AlignVCenter | Qt::AlignBottom;
    }
    p.drawText(r, flags, PlainText(panel_.Caption()));
  }

 private:
  TPanel& panel_;
};

// A paint box shows its back buffer; the model's OnPaint fills it when the
// window system asks for a paint after an invalidation.
class TQtPaintBoxWidget : public QWidget {
 public:
  TQtPaintBoxWidget(TPaintBox& box, QWidget* parent) : QWidget(parent), box_(box) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    if (box.WantsFocus()) setFocusPolicy(Qt::StrongFocus);
  }
  bool needsPaint = true;
  bool painting = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    painting = true;
    if (needsPaint) {
      needsPaint = false;
      box_.PaintBuffer();
    }
    QPainter p(this);
    if (auto* qb = dynamic_cast<const TQtBitmap*>(box_.BufferIfAny())) p.drawImage(0, 0, qb->Image());
    else if (const TBitmap* b = box_.BufferIfAny()) p.drawImage(0, 0, ToQImage(*b));
    else p.fillRect(rect(), Qt::white);
    painting = false;
  }

 private:
  TPaintBox& box_;
};

class TQtImageWidget : public QWidget {
 public:
  TQtImageWidget(TImage& image, QWidget* parent) : QWidget(parent), image_(image) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (auto* qb = dynamic_cast<const TQtBitmap*>(image_.Picture())) p.drawImage(0, 0, qb->Image());
    else if (const TBitmap* b = image_.Picture()) p.drawImage(0, 0, ToQImage(*b));
  }

 private:
  TImage& image_;
};

class TQtColorGridWidget : public QWidget {
 public:
  TQtColorGridWidget(TColorGrid& grid, QWidget* parent) : QWidget(parent), grid_(grid) {
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    int w = width(), h = height();
    for (int i = 0; i < TColorGrid::ColorCount; ++i) {
      int col = i % 4, row = i / 4;
      QRect cell(col * w / 4, row * h / 4, (col + 1) * w / 4 - col * w / 4, (row + 1) * h / 4 - row * h / 4);
      QColor c = ToQColor(TColorGrid::GridColor(i));
      p.fillRect(cell, c);
      p.setPen(Qt::gray);
      p.drawRect(cell.adjusted(0, 0, -1, -1));
      QString mark;
      if (i == grid_.ForegroundIndex()) mark += "FG";
      if (i == grid_.BackgroundIndex()) mark += mark.isEmpty() ? "BG" : "/BG";
      if (!mark.isEmpty()) {
        p.setPen(c.lightness() > 128 ? Qt::black : Qt::white);
        p.drawText(cell, Qt::AlignCenter, mark);
      }
    }
  }

 private:
  TColorGrid& grid_;
};

class TQtStatusBarWidget : public QWidget {
 public:
  TQtStatusBarWidget(TStatusBar& bar, QWidget* parent) : QWidget(parent), bar_(bar) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    int x = 0;
    const auto& panels = bar_.Panels();
    for (size_t i = 0; i < panels.size(); ++i) {
      int w = i + 1 == panels.size() ? width() - x : panels[i].Width;
      QRect r(x + 1, 2, std::max(0, w - 3), height() - 4);
      p.setPen(palette().color(QPalette::Dark));
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(palette().color(QPalette::Light));
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
      p.setPen(palette().color(QPalette::WindowText));
      p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                 ToQt(panels[i].Text));
      x += w;
    }
  }

 private:
  TStatusBar& bar_;
};

// Where an arrow key, Home or End goes from item index of a set of count
// radio buttons laid out column by column, rows to a column: Up and Down
// step through the items (round from the last to the first), Left and Right
// go to the next column when there is one, Home and End to the first and the
// last item. -1: the key is no move in the set.
int RadioKeyTarget(int key, int index, int count, int rows) {
  if (count <= 0) return -1;
  index = std::clamp(index, 0, count - 1);
  rows = std::clamp(rows, 1, count);
  const bool columns = rows < count;
  switch (key) {
    case Qt::Key_Up: return (index + count - 1) % count;
    case Qt::Key_Down: return (index + 1) % count;
    case Qt::Key_Left:
      if (!columns) return (index + count - 1) % count;
      return index - rows >= 0 ? index - rows : index;
    case Qt::Key_Right:
      if (!columns) return (index + 1) % count;
      return index + rows < count ? index + rows : index;
    case Qt::Key_Home: return 0;
    case Qt::Key_End: return count - 1;
    default: return -1;
  }
}

// A radio button of a set the model keeps exclusive (a radio group's items,
// or the radio buttons of one container). The arrow keys, Home and End
// choose the neighbour they go to, as a click on it does, and move the focus
// there: the button shown chosen is the one the form holds.
class TQtRadioButton : public QRadioButton {
 public:
  // The buttons of the set in the model's order and the rows of a column.
  using TSet = std::function<QList<QAbstractButton*>(int& rows)>;
  TQtRadioButton(QWidget* parent, TSet set) : QRadioButton(parent), set_(std::move(set)) {
    setAutoExclusive(false);  // the model unchecks the others
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    int rows = 1;
    const QList<QAbstractButton*> set = plain ? set_(rows) : QList<QAbstractButton*>{};
    const int target = RadioKeyTarget(e->key(), int(set.indexOf(this)), int(set.size()), rows);
    if (target < 0) {
      QRadioButton::keyPressEvent(e);
      return;
    }
    QAbstractButton* to = set[target];
    const bool back = e->key() == Qt::Key_Up || e->key() == Qt::Key_Left || e->key() == Qt::Key_Home;
    // Chosen first: the focus then comes to the set's choice.
    if (!to->isChecked()) to->click();
    to->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
  }
  // The set is one stop of the Tab key, as in every desktop toolkit: Tab
  // leaves it from any of its buttons, and Tab or Shift Tab from outside
  // enters it at its chosen button; the arrow keys move within.
  bool focusNextPrevChild(bool next) override {
    int rows = 1;
    const QList<QAbstractButton*> set = set_(rows);
    if (!set.contains(this)) return QRadioButton::focusNextPrevChild(next);
    bool moved = false;
    stepping_ = true;
    for (int i = 0; i <= int(set.size()); ++i) {
      moved = QRadioButton::focusNextPrevChild(next);
      auto* now = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
      if (!moved || now == nullptr || !set.contains(now)) break;
    }
    stepping_ = false;
    if (auto* now = dynamic_cast<TQtRadioButton*>(QApplication::focusWidget()))
      now->ToChoice(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return moved;
  }
  void focusInEvent(QFocusEvent* e) override {
    QRadioButton::focusInEvent(e);
    if (!stepping_ && (e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason))
      ToChoice(e->reason());
  }

 private:
  // Tab came to an item that is not the chosen one: the focus goes on to
  // the chosen one.
  void ToChoice(Qt::FocusReason reason) {
    if (isChecked()) return;
    int rows = 1;
    for (QAbstractButton* b : set_(rows))
      if (b != this && b->isChecked() && b->isEnabled() && b->isVisible()) {
        b->setFocus(reason);
        return;
      }
  }
  static inline bool stepping_ = false;  // Tab steps over the items of a set
  TSet set_;
};

// The window of a form: a dialog whose client widget holds the controls,
// under the menu bar when the form has a main menu.
class TQtFormWindow : public QDialog {
 public:
  explicit TQtFormWindow(TForm& form) : form_(form) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    client = new QWidget(this);
    layout->addWidget(client);
    client->installEventFilter(this);
  }
  QWidget* client;
  bool syncing = false;
  bool HasMenuBar() const { return bar_ != nullptr; }

  void SetMenuBar(QMenuBar* bar) {
    if (bar == bar_) return;
    if (bar_) {
      bar_->hide();
      bar_->setParent(nullptr);  // the menu keeps it
    }
    bar_ = bar;
    layout()->setMenuBar(bar);
    if (bar) bar->show();
    FitToClient();
  }
  // Window size from the form's size.
  void FitToClient() {
    TRect b = form_.Bounds();
    // A shown window that grows (a report widening to its lines) stays
    // within its screen's free area, frame and all: the form lays out at
    // the size that fits.
    if (isVisible() && !fitting_) {
      const QSize most = LargestClient(ScreenArea());
      if (b.Width() > most.width() || b.Height() > most.height()) {
        fitting_ = true;
        form_.ResizedByUser(std::min(b.Width(), most.width()), std::min(b.Height(), most.height()));
        fitting_ = false;
        b = form_.Bounds();
      }
    }
    const QSize before = size();
    syncing = true;
    int extra = bar_ ? bar_->sizeHint().height() : 0;
    // A window opens wide enough for its caption beside the title bar's
    // icon and buttons (the form then lays out at that width); the user may
    // make a sizeable one narrower later.
    const int title = QFontMetrics(font()).horizontalAdvance(windowTitle()) + 120;
    if (form_.Sizeable()) {
      const TPoint least = form_.MinClientSize();
      setMinimumSize(least.X, least.Y > 0 ? least.Y + extra : 0);
      setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      int width = isVisible() ? b.Width() : std::max(b.Width(), title);
      width = std::min(width, std::max(b.Width(), LargestClient(ScreenArea()).width()));
      resize(width, b.Height() + extra);
    } else {
      setFixedSize(std::max(b.Width(), std::min(title, LargestClient(ScreenArea()).width())), b.Height() + extra);
    }
    client->resize(b.Width(), b.Height());
    syncing = false;
    if (!isVisible()) return;
    // A window placed over its owner that grows (a report widening to its
    // lines) stays in the middle of it, unless the user has moved it.
    if (placed_ && size() != before && StillCentred()) CentreOverOwner(size());
    KeepFrameInside(ScreenArea());
  }
  // The free area of the window's screen (the primary one before it shows).
  QRect ScreenArea() const {
    QScreen* s = isVisible() && screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    return s != nullptr ? s->availableGeometry() : QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  // The largest client area whose window, with its title bar, borders and
  // menu bar, fits in the area (the last window's decoration before the
  // window system gave this one its own).
  QSize LargestClient(const QRect& area) const {
    QSize decoration = frameGeometry().size() - size();
    if (!isVisible() || decoration.isNull()) decoration = LastDecoration();
    // Before any window was decorated: room for a title bar.
    if (decoration.isNull()) decoration = QSize(0, 32);
    const int extra = bar_ ? bar_->sizeHint().height() : 0;
    return QSize(std::max(1, area.width() - std::max(0, decoration.width())),
                 std::max(1, area.height() - std::max(0, decoration.height()) - extra));
  }
  // A shown window whose frame runs past the area moves back inside it.
  void KeepFrameInside(const QRect& area) {
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    const QRect frame = frameGeometry();
    int x = frame.left(), y = frame.top();
    if (frame.right() > area.right()) x = area.right() - frame.width() + 1;
    if (frame.bottom() > area.bottom()) y = area.bottom() - frame.height() + 1;
    x = std::max(x, area.left());
    y = std::max(y, area.top());
    if (x == frame.left() && y == frame.top()) return;
    const bool centred = StillCentred();
    move(x, y);
    if (centred) centredAt_ = pos();
  }
  // A form the program places goes where it says when that is on a screen;
  // elsewhere (a screen no longer attached, a place kept from a maximised or
  // minimised window) it is centred on the primary screen. It is made no
  // larger than the screen.
  void PlaceOnScreen() {
    if (!form_.HasFixedPlace() || isVisible()) return;
    const TRect b = form_.Bounds();
    // The title bar must be reachable: a stretch of its top edge on a screen.
    const QPoint grip(b.Left + std::min(b.Width() / 2, 100), b.Top + 8);
    QScreen* screen = nullptr;
    for (QScreen* s : QGuiApplication::screens())
      if (s->availableGeometry().contains(grip)) screen = s;
    const bool onScreen = screen != nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const int extra = bar_ ? bar_->sizeHint().height() : 0;
    const QSize most = LargestClient(area);
    const int width = std::min(b.Width(), most.width());
    const int height = std::min(b.Height(), most.height());
    if (width != b.Width() || height != b.Height()) {
      form_.ResizedByUser(width, height);
      FitToClient();
    }
    if (onScreen)
      move(b.Left, b.Top);
    else
      move(area.left() + (area.width() - width) / 2, area.top() + (area.height() - height - extra) / 2);
    if (form_.ScreenCentred()) {
      // The decoration this window will get is not known before it shows:
      // the last window's is the best guess, corrected once it is known.
      decoration_ = LastDecoration();
      Centre(QSize(width + decoration_.width(), height + extra + decoration_.height()));
    }
  }
  // A window without menus that the program does not place opens, the
  // first time, centred over the window it belongs to (else on the
  // screen), inside that window's screen: a report stands over the main
  // window it reports on. Later showings keep the place it had.
  void PlaceOverOwner(QWindow* owner) {
    if (form_.HasFixedPlace() || form_.ScreenCentred() || HasMenuBar() || isVisible() || placed_) return;
    placed_ = true;
    owner_ = owner;
    CentreOverOwner(size());
  }
  // Whether the window stands where it was put over its owner: the window
  // system may have shifted it by up to its decoration (a title bar put
  // above the place asked for), a user's move goes further.
  bool StillCentred() const {
    if (!placed_ || centredAt_.x() == INT_MIN) return false;
    const QSize decoration = frameGeometry().size() - size();
    const QPoint off = pos() - centredAt_;
    return std::abs(off.x()) <= std::max(decoration.width(), 2) && std::abs(off.y()) <= std::max(decoration.height(), 2);
  }
  // Moves the frame of a window of that client size to the middle of its
  // owner (of the screen without one), inside the screen's free area.
  void CentreOverOwner(const QSize& client) {
    QWindow* owner = owner_;
    QScreen* s = owner != nullptr && owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    const QRect area = s->availableGeometry();
    const QRect over = owner != nullptr && owner->isVisible() ? owner->frameGeometry() : area;
    QSize decoration = isVisible() ? frameGeometry().size() - size() : LastDecoration();
    if (decoration.isNull()) decoration = LastDecoration();
    if (decoration.isNull()) decoration = QSize(0, 32);
    const QSize frame = client + decoration;
    int x = over.left() + (over.width() - frame.width()) / 2;
    int y = over.top() + (over.height() - frame.height()) / 2;
    x = std::max(area.left(), std::min(x, area.right() + 1 - frame.width()));
    y = std::max(area.top(), std::min(y, area.bottom() + 1 - frame.height()));
    move(x, y);
    centredAt_ = QPoint(x, y);
  }
  // A form the system places (a dialog centred on its owner) is made no
  // larger than the screen's free area either; one that had to be made
  // smaller stands at the top of that area, so its title bar and buttons
  // can be reached.
  void KeepOnScreen() {
    if (form_.HasFixedPlace() || isVisible()) return;
    QScreen* s = QGuiApplication::primaryScreen();
    if (QWidget* owner = parentWidget(); owner && owner->screen()) s = owner->screen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    const TRect b = form_.Bounds();
    const QSize most = LargestClient(area);
    const int width = std::min(b.Width(), most.width());
    const int height = std::min(b.Height(), most.height());
    if (width == b.Width() && height == b.Height()) return;
    form_.ResizedByUser(width, height);
    FitToClient();
    move(area.left() + std::max(0, (area.width() - this->width()) / 2), area.top());
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj == client && e->type() == QEvent::Resize && !syncing) {
      QSize s = static_cast<QResizeEvent*>(e)->size();
      TRect b = form_.Bounds();
      if (s.width() != b.Width() || s.height() != b.Height()) form_.ResizedByUser(s.width(), s.height());
    }
    return QDialog::eventFilter(obj, e);
  }
  void showEvent(QShowEvent* e) override {
    QDialog::showEvent(e);
    ReportNormalBounds();
  }
  void moveEvent(QMoveEvent* e) override {
    QDialog::moveEvent(e);
    ReportNormalBounds();
  }
  void resizeEvent(QResizeEvent* e) override {
    QDialog::resizeEvent(e);
    ReportNormalBounds();
  }
  void changeEvent(QEvent* e) override {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) {
      form_.MaximizedFromBackend((windowState() & Qt::WindowMaximized) != 0);
      ReportNormalBounds();
    }
  }
  void closeEvent(QCloseEvent* e) override {
    if (form_.ModalEnded() || !form_.Showing() || form_.CloseFromBackend()) e->accept();
    else e->ignore();
  }
  // Escape: the cancel button, else closing the form.
  void reject() override {
    if (TButton* b = form_.CancelButton()) b->ClickFromBackend();
    else form_.Close();
  }
  void accept() override {}

 private:
  // The frame's corner that puts a frame of that size in the middle of the
  // screen's free area.
  void Centre(const QSize& frame) {
    QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    const QRect area = s->availableGeometry();
    move(area.left() + std::max(0, (area.width() - frame.width()) / 2),
         area.top() + std::max(0, (area.height() - frame.height()) / 2));
  }
  // The title bar and borders the window system put around the last window.
  static QSize& LastDecoration() {
    static QSize decoration(0, 0);
    return decoration;
  }
  // What is kept of the window's place: never a maximised or minimised one.
  void ReportNormalBounds() {
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
      return;
    const QSize decoration = frameGeometry().size() - size();
    if (decoration.width() >= 0 && decoration.height() >= 0) {
      if (decoration != QSize(0, 0)) LastDecoration() = decoration;
      // A centred window whose decoration came after it was placed: centred
      // again with it (once: the decoration does not change after that, so
      // the user's moves stay).
      if (form_.ScreenCentred() && decoration != decoration_) {
        decoration_ = decoration;
        Centre(frameGeometry().size());
        return;
      }
    }
    const QPoint p = pos();
    form_.NormalBoundsFromBackend(TRect{p.x(), p.y(), p.x() + client->width(), p.y() + client->height()});
    const QSize frame = frameGeometry().size();
    form_.FrameExtentFromBackend(TPoint{std::max(0, frame.width() - client->width()), std::max(0, frame.height() - client->height())});
  }
  TForm& form_;
  QPointer<QMenuBar> bar_;
  QSize decoration_{0, 0};  // of a centred window: the decoration it was centred with
  bool fitting_ = false;    // a grown window is being fitted to its screen
  bool placed_ = false;     // placed over its owner once
  QPointer<QWindow> owner_;  // the window it was placed over
  QPoint centredAt_{INT_MIN, INT_MIN};  // where it was put in the middle of it
};

// Whether a report's columns line up in the font: the digits, the capitals
// and the blank advance equally. The font's own word is not enough: some
// monospaced fonts are not marked so, and a "monospace" a machine resolves
// to may not be one.
bool LinesUpInColumns(const QFont& font) {
  const QFontMetricsF m(font);
  const qreal blank = m.horizontalAdvance(QLatin1Char(' '));
  if (blank <= 0) return false;
  for (const char* c = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"; *c != 0; ++c)
    if (std::abs(m.horizontalAdvance(QLatin1Char(*c)) - blank) > 0.01) return false;
  return true;
}

// The fixed-pitch font at the size of the controls' font: the system's
// when its columns line up, else the first installed font whose columns do.
QFont FixedPitchFont() {
  static const QFont family = [] {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::TypeWriter);
    if (LinesUpInColumns(f)) return f;
    QStringList families;
    for (const QString& name : QFontDatabase::families())
      if (QFontDatabase::isFixedPitch(name)) families.push_front(name);
      else if (name.contains("Mono", Qt::CaseInsensitive) || name.contains("Courier", Qt::CaseInsensitive))
        families.push_back(name);
    for (const QString& name : families) {
      QFont candidate(name);
      candidate.setStyleHint(QFont::TypeWriter);
      if (LinesUpInColumns(candidate)) return candidate;
    }
    return f;
  }();
  QFont f = family;
  if (QApplication::font().pointSizeF() > 0) f.setPointSizeF(QApplication::font().pointSizeF());
  return f;
}

// ------------------------------------------------------------ the peer

// Puts the widget's caret and selection where the model has them and
// scrolls them into view; the model hears nothing back.
void ShowMemoSelection(QPlainTextEdit& q, const TMemo& m) {
  QSignalBlocker block(&q);
  QTextCursor c = q.textCursor();
  const int end = c.document()->characterCount() - 1;
  c.setPosition(std::clamp(m.SelStart(), 0, end));
  c.setPosition(std::clamp(m.SelStart() + m.SelLength(), 0, end), QTextCursor::KeepAnchor);
  q.setTextCursor(c);
  q.ensureCursorVisible();
}

class TQtPeer : public TControlPeer, public QObject {
 public:
  TQtPeer(TControl& control, QWidget* widget) : control_(control), widget_(widget) {
    ControlOfWidget().insert(widget, &control);
    widget->installEventFilter(this);
  }
  ~TQtPeer() override {
    ControlOfWidget().remove(widget_.data());
    if (widget_) {
      // The widget may outlive the control a little (deleted later): it must
      // no longer reach the control. Our connections use the widget (or its
      // inner widgets) as their context.
      QObject::disconnect(widget_.data(), nullptr, widget_.data(), nullptr);
      for (QObject* o : widget_->findChildren<QObject*>()) QObject::disconnect(o, nullptr, o, nullptr);
      widget_->removeEventFilter(this);
      widget_->deleteLater();
      widget_->hide();
    }
  }
  QWidget* Widget() const { return widget_; }
  // Where the children's widgets go.
  QWidget* ChildParent() const {
    if (auto* w = dynamic_cast<TQtFormWindow*>(widget_.data())) return w->client;
    if (auto* a = qobject_cast<QScrollArea*>(widget_.data())) return a->widget();
    return widget_;
  }

  void Changed(TChange what) override {
    if (!widget_) return;
    switch (what) {
      case TChange::Bounds:
        SyncBounds();
        break;
      case TChange::State:
        SyncState();
        break;
      case TChange::Created:
        BuildChildren();
        break;
      case TChange::Picture:
        if (auto* pb = dynamic_cast<TQtPaintBoxWidget*>(widget_.data()); pb && pb->painting) break;
        widget_->update();
        break;
      case TChange::Repaint:
        if (auto* pb = dynamic_cast<TQtPaintBoxWidget*>(widget_.data())) pb->needsPaint = true;
        widget_->update();
        break;
      case TChange::Menu:
        SyncMenu();
        break;
      case TChange::Focus:
        SyncFocus();
        break;
      case TChange::Selection:
        if (auto* q = qobject_cast<QPlainTextEdit*>(widget_.data());
            q && control_.Kind() == TControlKind::Memo)
          ShowMemoSelection(*q, static_cast<TMemo&>(control_));
        break;
      case TChange::LineAdded:
        if (auto* q = qobject_cast<QPlainTextEdit*>(widget_.data());
            q && control_.Kind() == TControlKind::Memo) {
          // Not a user's edit: the model has the line already. Copying the
          // whole text back per line would make long reports quadratic.
          QSignalBlocker block(q);
          q->appendPlainText(ToQt(static_cast<TMemo&>(control_).Lines().back()));
          break;
        }
        SyncValue();
        break;
      default:
        SyncValue();
        break;
    }
  }

  void SyncAll() {
    SyncState();
    SyncValue();
    SyncBounds();
    if (control_.Kind() == TControlKind::Form) SyncMenu();
  }

  void BuildChildren();

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override;

 private:
  void SyncBounds();
  void SyncState();
  void SyncValue();
  void SyncMenu();
  void SyncFocus();
  void PlaceRadioItems();

  TControl& control_;
  QPointer<QWidget> widget_;
  bool pressed_ = false;
  bool coloured_ = false;  // the control's own colour is on the widget
};

QWidget* CreateWidget(TControl& c, QWidget* parent);


void BuildPeer(TControl& c, QWidget* parent) {
  if (c.Kind() == TControlKind::Timer) return;
  if (!c.Peer()) {
    QWidget* w = CreateWidget(c, parent);
    auto peer = std::make_unique<TQtPeer>(c, w);
    TQtPeer* raw = peer.get();
    c.SetPeer(std::move(peer));
    raw->SyncAll();
  }
  static_cast<TQtPeer*>(c.Peer())->BuildChildren();
}

void TQtPeer::BuildChildren() {
  for (auto& child : control_.Children()) {
    if (child->Kind() == TControlKind::Timer || child->Peer()) continue;
    BuildPeer(*child, ChildParent());
    if (control_.Kind() == TControlKind::TabbedPages) SyncValue();
  }
}

void TQtPeer::SyncBounds() {
  TControlKind k = control_.Kind();
  if (k == TControlKind::TabPage) return;  // the tab widget places its pages
  if (k == TControlKind::Form) {
    static_cast<TQtFormWindow*>(widget_.data())->FitToClient();
    return;
  }
  TRect b = control_.Bounds();
  QRect r(b.Left, b.Top, std::max(0, b.Width()), std::max(0, b.Height()));
  // A box or a radio button without a caption placed in a cell smaller than
  // the style's indicator shows all of its indicator, centred on the cell.
  if ((k == TControlKind::CheckBox || k == TControlKind::RadioButton) && control_.Caption().empty()) {
    const bool radio = k == TControlKind::RadioButton;
    QStyle* style = widget_->style();
    const int iw = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr, widget_);
    const int ih = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight, nullptr, widget_);
    const QPoint centre = r.center();
    if (r.width() < iw) r.setWidth(iw);
    if (r.height() < ih) r.setHeight(ih);
    r.moveCenter(centre);
  }
  widget_->setGeometry(r);
  if (k == TControlKind::RadioGroup) PlaceRadioItems();
  if (k == TControlKind::ScrollBox) SyncValue();
}

void TQtPeer::SyncState() {
  TControlKind k = control_.Kind();
  widget_->setEnabled(control_.Enabled());
  if (k != TControlKind::Form && k != TControlKind::TabPage) widget_->setVisible(control_.Visible());
  widget_->setToolTip(ToQt(control_.Hint()));
  QPalette pal = widget_->palette();
  if (control_.Color() != clDefault) {
    QColor c = ToQColor(control_.Color());
    pal.setColor(QPalette::Window, c);
    pal.setColor(QPalette::Button, c);
    pal.setColor(QPalette::Base, c);
    widget_->setAutoFillBackground(k != TControlKind::Panel);
    coloured_ = true;
  } else if (coloured_) {
    // Back to the usual face.
    const QPalette usual = QApplication::palette(widget_);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
      for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, role, usual.color(group, role));
    widget_->setAutoFillBackground(false);
    coloured_ = false;
  }
  if (control_.FontColor() != clDefault) {
    QColor c = ToQColor(control_.FontColor());
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::ButtonText, c);
    pal.setColor(QPalette::Text, c);
    // An enabled control's text reads as enabled on its own face, whatever
    // colour it is given (a layer button's caption in a grey layer colour).
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      pal.setColor(group, QPalette::WindowText, ReadableTextColor(c, pal.color(group, QPalette::Window)));
      // A pressed button (the current layer's) shows a darker face.
      pal.setColor(group, QPalette::ButtonText,
                   ReadableTextColor(c, pal.color(group, QPalette::Button).darker(112)));
      pal.setColor(group, QPalette::Text, ReadableTextColor(c, pal.color(group, QPalette::Base)));
    }
  }
  widget_->setPalette(pal);
  SyncValue();
}

void TQtPeer::PlaceRadioItems() {
  auto& group = static_cast<TRadioGroup&>(control_);
  auto buttons = widget_->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
  int n = int(buttons.size());
  int cols = group.Columns();
  int rows = (n + cols - 1) / std::max(1, cols);
  int areaW = widget_->width() - 16;
  int rowH = rows ? std::max(18, (widget_->height() - 18 - 6) / rows) : 20;
  for (int i = 0; i < n; ++i) {
    int col = i / std::max(1, rows), row = i % std::max(1, rows);
    int x = 8 + col * areaW / cols;
    buttons[i]->setGeometry(x, 18 + row * rowH, areaW / cols, std::min(rowH, 22));
  }
}

void TQtPeer::SyncValue() {
  QWidget* w = widget_;
  QSignalBlocker block(w);
  switch (control_.Kind()) {
    case TControlKind::Form:
      if (w->windowTitle() != ToQt(control_.Caption())) {
        w->setWindowTitle(ToQt(control_.Caption()));
        static_cast<TQtFormWindow*>(w)->FitToClient();
      }
      break;
    case TControlKind::Panel: {
      auto& p = static_cast<TPanel&>(control_);
      auto* f = static_cast<QFrame*>(w);
      // A captioned row of controls (the format dialogs' " Digits ") is a
      // group of them: its frame is the etched line of a group, seen on
      // every side, where a bevel's light edges vanish on a light face.
      const bool group = p.Bevel() != bvNone && !p.Caption().empty() && !p.Children().empty() &&
                         p.Flow() == TFlow::Horizontal;
      f->setFrameStyle(p.Bevel() == bvNone ? QFrame::NoFrame
                       : group             ? QFrame::Box | QFrame::Sunken
                                           : QFrame::Panel | (p.Bevel() == bvRaised ? QFrame::Raised : QFrame::Sunken));
      f->setLineWidth(1);
      f->update();
      break;
    }
    case TControlKind::GroupBox:
      static_cast<QGroupBox*>(w)->setTitle(ToQt(control_.Caption()));
      break;
    case TControlKind::Label: {
      auto& l = static_cast<TLabel&>(control_);
      auto* q = static_cast<QLabel*>(w);
      q->setText(PlainText(l.Caption()));
      q->setWordWrap(l.WordWrap());
      q->setAlignment(Qt::AlignTop | (l.Alignment() == taLeftJustify    ? Qt::AlignLeft
                                      : l.Alignment() == taRightJustify ? Qt::AlignRight
                                                                        : Qt::AlignHCenter));
      break;
    }
    case TControlKind::Button: {
      auto& b = static_cast<TButton&>(control_);
      auto* q = static_cast<QPushButton*>(w);
      q->setText(ToQt(b.Caption()));
      q->setDefault(b.Default());
      break;
    }
    case TControlKind::CheckBox: {
      auto* q = static_cast<QCheckBox*>(w);
      q->setText(ToQt(control_.Caption()));
      q->setChecked(static_cast<TCheckBox&>(control_).Checked());
      break;
    }
    case TControlKind::RadioButton: {
      auto* q = static_cast<QRadioButton*>(w);
      q->setText(ToQt(control_.Caption()));
      q->setChecked(static_cast<TRadioButton&>(control_).Checked());
      break;
    }
    case TControlKind::RadioGroup: {
      auto& g = static_cast<TRadioGroup&>(control_);
      auto* q = static_cast<QGroupBox*>(w);
      q->setTitle(ToQt(g.Caption()));
      auto buttons = q->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
      if (int(buttons.size()) != int(g.Items().size())) {
        for (auto* b : buttons) delete b;
        buttons.clear();
        for (int i = 0; i < int(g.Items().size()); ++i) {
          auto* b = new TQtRadioButton(q, [q, gp = &g](int& rows) {
            QList<QAbstractButton*> set;
            for (QRadioButton* r : q->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly)) set.push_back(r);
            const int n = int(set.size()), cols = std::max(1, gp->Columns());
            rows = (n + cols - 1) / cols;
            return set;
          });
          TRadioGroup* gp = &g;
          QObject::connect(b, &QRadioButton::clicked, b, [gp, i, this] {
            gp->ClickItem(i);
            SyncValue();
          });
          b->show();
          buttons.push_back(b);
        }
        PlaceRadioItems();
      }
      for (int i = 0; i < int(buttons.size()); ++i) {
        QSignalBlocker bb(buttons[i]);
        buttons[i]->setText(ToQt(g.Items()[size_t(i)]));
        buttons[i]->setChecked(i == g.ItemIndex());
      }
      break;
    }
    case TControlKind::Edit: {
      auto& e = static_cast<TEdit&>(control_);
      auto* q = static_cast<QLineEdit*>(w);
      if (q->text() != ToQt(e.Text())) q->setText(ToQt(e.Text()));
      q->setReadOnly(e.ReadOnly());
      q->setMaxLength(e.MaxLength() > 0 ? e.MaxLength() : 32767);
      break;
    }
    case TControlKind::SpinEdit: {
      auto& s = static_cast<TSpinEdit&>(control_);
      auto* q = static_cast<QSpinBox*>(w);
      if (s.MinValue() == s.MaxValue()) q->setRange(INT_MIN, INT_MAX);
      else q->setRange(s.MinValue(), s.MaxValue());
      q->setSingleStep(s.Increment());
      if (q->value() != s.Value() || q->text() != ToQt(s.Text())) q->setValue(s.Value());
      break;
    }
    case TControlKind::Memo: {
      auto& m = static_cast<TMemo&>(control_);
      auto* q = static_cast<QPlainTextEdit*>(w);
      QString text;
      for (size_t i = 0; i < m.Lines().size(); ++i) text += (i ? "\n" : "") + ToQt(m.Lines()[i]);
      if (q->toPlainText() != text) {
        q->setPlainText(text);
        // A new text loses the widget's caret: the model's is shown.
        ShowMemoSelection(*q, m);
      }
      q->setReadOnly(m.ReadOnly());
      if (const QFont font = m.FixedPitch() ? FixedPitchFont() : QApplication::font(); q->font() != font)
        q->setFont(font);
      q->setLineWrapMode(m.WordWrap() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
      auto policy = m.ScrollBars() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
      q->setHorizontalScrollBarPolicy(policy);
      q->setVerticalScrollBarPolicy(policy);
      break;
    }
    case TControlKind::ListBox: {
      auto& l = static_cast<TListBox&>(control_);
      auto* q = static_cast<QListWidget*>(w);
      q->setSelectionMode(l.MultiSelect() ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
      bool same = q->count() == int(l.Items().size());
      for (int i = 0; same && i < q->count(); ++i) same = q->item(i)->text() == ToQt(l.Items()[size_t(i)]);
      if (!same) {
        q->clear();
        for (auto& item : l.Items()) q->addItem(ToQt(item));
      }
      q->setCurrentRow(l.ItemIndex(), QItemSelectionModel::NoUpdate);
      for (int i = 0; i < q->count(); ++i) q->item(i)->setSelected(l.Selected(i));
      break;
    }
    case TControlKind::ComboBox: {
      auto& c = static_cast<TComboBox&>(control_);
      auto* q = static_cast<QComboBox*>(w);
      q->setEditable(c.Style() == csDropDown);
      if (q->isEditable()) {
        // The box takes exactly what is typed: the toolkit's completer would
        // finish a typed text with an earlier entry (a search for "X03" would
        // become one for "X0324Y-0283"), and Enter would add the text as an
        // item. The entries are offered in the drop-down only.
        if (q->completer()) q->setCompleter(nullptr);
        q->setInsertPolicy(QComboBox::NoInsert);
      }
      bool same = q->count() == int(c.Items().size());
      for (int i = 0; same && i < q->count(); ++i) same = q->itemText(i) == ToQt(c.Items()[size_t(i)]);
      if (!same) {
        q->clear();
        for (auto& item : c.Items()) q->addItem(ToQt(item));
      }
      q->setCurrentIndex(c.ItemIndex());
      if (q->isEditable() && q->currentText() != ToQt(c.Text())) q->setEditText(ToQt(c.Text()));
      break;
    }
    case TControlKind::StringGrid: {
      auto& g = static_cast<TStringGrid&>(control_);
      auto* q = static_cast<QTableWidget*>(w);
      q->setColumnCount(g.ColCount());
      q->setRowCount(g.RowCount());
      q->horizontalHeader()->setDefaultSectionSize(g.DefaultColWidth());
      q->verticalHeader()->setDefaultSectionSize(g.DefaultRowHeight());
      QColor fixed = q->palette().color(QPalette::Button);
      for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c) {
          QTableWidgetItem* item = q->item(r, c);
          if (!item) {
            item = new QTableWidgetItem;
            q->setItem(r, c, item);
          }
          bool isFixed = r < g.FixedRows() || c < g.FixedCols();
          if (item->text() != ToQt(g.Cell(c, r))) item->setText(ToQt(g.Cell(c, r)));
          Qt::ItemFlags flags = Qt::ItemIsEnabled;
          if (!isFixed) flags |= Qt::ItemIsSelectable;
          if (!isFixed && g.Editing()) flags |= Qt::ItemIsEditable;
          item->setFlags(flags);
          if (isFixed) item->setBackground(fixed);
        }
      q->setCurrentCell(g.Row(), g.Col());
      break;
    }
    case TControlKind::ScrollBar: {
      auto& b = static_cast<TScrollBar&>(control_);
      auto* q = static_cast<QScrollBar*>(w);
      q->setOrientation(b.ScrollKind() == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
      // A bar its owner scrolls belongs to that control and leaves it the
      // keyboard, as a window's own scroll bar does.
      if (b.OnScroll) q->setFocusPolicy(Qt::NoFocus);
      q->setRange(b.Min(), b.Max());
      q->setPageStep(b.PageSize() > 0 ? b.PageSize() : b.LargeChange());
      q->setSingleStep(b.SmallChange());
      q->setValue(b.Position());
      break;
    }
    case TControlKind::SpeedButton: {
      auto& b = static_cast<TSpeedButton&>(control_);
      auto* q = static_cast<QToolButton*>(w);
      q->setText(PlainText(b.Caption()));
      if (const TBitmap* glyph = b.Glyph()) {
        q->setIcon(QIcon(QPixmap::fromImage(ToQImage(*glyph))));
        q->setIconSize(QSize(glyph->Width(), glyph->Height()));
        q->setToolButtonStyle(b.Caption().empty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
      } else if (!q->icon().isNull()) {
        q->setIcon(QIcon());
        q->setToolButtonStyle(Qt::ToolButtonTextOnly);
      }
      // A button held down by its owner (a chosen side, a waiting command)
      // shows so, whether or not the button groups itself.
      // (A button that is not checkable keeps its checked state: it is
      // lifted while it still may be.)
      q->setCheckable(true);
      q->setChecked(b.Down());
      q->setCheckable(b.GroupIndex() > 0 || b.Down());
      break;
    }
    case TControlKind::TabbedPages: {
      auto& t = static_cast<TTabbedPages&>(control_);
      auto* q = static_cast<QTabWidget*>(w);
      q->tabBar()->setVisible(t.ShowTabs());
      for (int i = 0; i < t.PageCount() && i < q->count(); ++i) q->setTabText(i, ToQt(t.Page(i).Caption()));
      if (t.ActivePage() >= 0 && t.ActivePage() < q->count()) q->setCurrentIndex(t.ActivePage());
      break;
    }
    case TControlKind::TabPage: {
      auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
      if (tabs) {
        int i = tabs->indexOf(w);
        if (i >= 0) tabs->setTabText(i, ToQt(control_.Caption()));
      }
      break;
    }
    case TControlKind::Gauge: {
      auto& g = static_cast<TGauge&>(control_);
      auto* q = static_cast<QProgressBar*>(w);
      q->setRange(g.MinValue(), g.MaxValue());
      q->setValue(g.Progress());
      break;
    }
    case TControlKind::PaintBox:
    case TControlKind::Image:
    case TControlKind::ColorGrid:
    case TControlKind::StatusBar:
      w->update();
      break;
    case TControlKind::ScrollBox: {
      // The children's area, at least as large as the view, scrolled to the
      // model's place.
      auto& b = static_cast<TScrollBox&>(control_);
      auto* q = static_cast<QScrollArea*>(w);
      const TPoint e = b.Extent();
      const QSize view = q->viewport()->size();
      q->widget()->resize(std::max(e.X, view.width()), std::max(e.Y, view.height()));
      QSignalBlocker blockBar(q->verticalScrollBar());
      q->verticalScrollBar()->setValue(b.ScrollTop());
      break;
    }
    case TControlKind::Timer:
      break;
  }
}

void TQtPeer::SyncMenu() {
  auto* window = dynamic_cast<TQtFormWindow*>(widget_.data());
  if (!window) return;
  TMainMenu* menu = static_cast<TForm&>(control_).Menu();
  window->SetMenuBar(menu ? QtMenuBarOf(*menu) : nullptr);
}

void TQtPeer::SyncFocus() {
  TControl* active = static_cast<TForm&>(control_).ActiveControl();
  if (!active || !active->Peer()) return;
  QWidget* w = static_cast<TQtPeer*>(active->Peer())->Widget();
  if (!w) return;
  QWidget* focus = QApplication::focusWidget();
  if (focus && (focus == w || w->isAncestorOf(focus))) return;
  w->setFocus(Qt::OtherFocusReason);
}

bool TQtPeer::eventFilter(QObject* obj, QEvent* e) {
  if (obj != widget_.data()) return false;
  TControlKind k = control_.Kind();
  switch (e->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(e);
      TMouseButton b;
      if (ButtonOf(me->button(), b)) {
        if (b == mbLeft) pressed_ = true;
        QPoint p = me->position().toPoint();
        control_.MouseDown(b, ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
      }
      break;
    }
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(e);
      TMouseButton b;
      if (ButtonOf(me->button(), b)) {
        const QPoint p = me->position().toPoint();
        control_.DblClick(b, ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
      }
      break;
    }
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(e);
      QPoint p = me->position().toPoint();
      control_.MouseMove(ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(e);
      TMouseButton b;
      if (!ButtonOf(me->button(), b)) break;
      QPoint p = me->position().toPoint();
      bool wasPressed = pressed_ && b == mbLeft;
      if (b == mbLeft) pressed_ = false;
      control_.MouseUp(b, ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
      // Controls without a click of their own get one from the release.
      bool nativeClick = k == TControlKind::Button || k == TControlKind::CheckBox ||
                         k == TControlKind::RadioButton || k == TControlKind::SpeedButton ||
                         k == TControlKind::RadioGroup || k == TControlKind::ListBox ||
                         k == TControlKind::ComboBox;
      if (wasPressed && !nativeClick && widget_ && widget_->rect().contains(p)) control_.ClickFromBackend();
      break;
    }
    case QEvent::Enter:
      if (!control_.Hint().empty()) SetPointedHint(control_.Hint());
      break;
    case QEvent::Leave:
      if (!control_.Hint().empty()) SetPointedHint("");
      break;
    default:
      break;
  }
  return false;
}

// ------------------------------------------------------------ widgets

QWidget* CreateWidget(TControl& c, QWidget* parent) {
  TControl* cp = &c;
  switch (c.Kind()) {
    case TControlKind::Form:
      return new TQtFormWindow(static_cast<TForm&>(c));
    case TControlKind::Panel:
      return new TQtPanelWidget(static_cast<TPanel&>(c), parent);
    case TControlKind::GroupBox:
      return new QGroupBox(parent);
    case TControlKind::Label:
      return new QLabel(parent);
    case TControlKind::Button: {
      auto* b = new QPushButton(parent);
      b->setAutoDefault(false);
      QObject::connect(b, &QPushButton::clicked, b, [cp] { cp->ClickFromBackend(); });
      return b;
    }
    case TControlKind::CheckBox: {
      auto* b = new QCheckBox(parent);
      QObject::connect(b, &QCheckBox::clicked, b, [cp] {
        cp->ClickFromBackend();
        if (cp->Peer()) cp->Peer()->Changed(TChange::Value);  // the model decides
      });
      return b;
    }
    case TControlKind::RadioButton: {
      auto* b = new TQtRadioButton(parent, [cp](int& rows) {
        QList<QAbstractButton*> set;
        if (TControl* box = cp->Parent())
          for (const auto& c : box->Children()) {
            if (c->Kind() != TControlKind::RadioButton || !c->IsUsable() || !c->Peer()) continue;
            if (auto* r = qobject_cast<QAbstractButton*>(static_cast<TQtPeer*>(c->Peer())->Widget())) set.push_back(r);
          }
        rows = int(set.size());
        return set;
      });
      QObject::connect(b, &QRadioButton::clicked, b, [cp] {
        cp->ClickFromBackend();
        if (cp->Peer()) cp->Peer()->Changed(TChange::Value);
      });
      return b;
    }
    case TControlKind::RadioGroup:
      return new QGroupBox(parent);
    case TControlKind::Edit: {
      auto* e = new QLineEdit(parent);
      QObject::connect(e, &QLineEdit::textEdited, e, [cp](const QString& t) {
        static_cast<TEdit*>(cp)->SetText(FromQt(t));
        if (cp->Peer()) cp->Peer()->Changed(TChange::Caption);  // a cut to MaxLength shows
      });
      return e;
    }
    case TControlKind::SpinEdit: {
      auto* s = new QSpinBox(parent);
      QObject::connect(s, &QSpinBox::textChanged, s, [cp, s](const QString& t) {
        auto* spin = static_cast<TSpinEdit*>(cp);
        QString clean = t.trimmed();
        if (!s->prefix().isEmpty()) clean.remove(0, s->prefix().size());
        spin->SetText(FromQt(clean));
      });
      return s;
    }
    case TControlKind::Memo: {
      auto* m = new QPlainTextEdit(parent);
      QObject::connect(m, &QPlainTextEdit::textChanged, m, [cp, m] {
        static_cast<TMemo*>(cp)->SetText(FromQt(m->toPlainText()));
      });
      QObject::connect(m, &QPlainTextEdit::cursorPositionChanged, m, [cp, m] {
        const QTextCursor c = m->textCursor();
        static_cast<TMemo*>(cp)->NoteSelection(c.selectionStart(), c.selectionEnd() - c.selectionStart());
      });
      return m;
    }
    case TControlKind::ListBox: {
      auto* l = new QListWidget(parent);
      QObject::connect(l, &QListWidget::currentRowChanged, l, [cp](int row) {
        auto* list = static_cast<TListBox*>(cp);
        if (!list->MultiSelect() && row >= 0) list->ClickItem(row);
      });
      QObject::connect(l, &QListWidget::itemSelectionChanged, l, [cp, l] {
        auto* list = static_cast<TListBox*>(cp);
        if (!list->MultiSelect()) return;
        for (int i = 0; i < l->count(); ++i) list->SetSelected(i, l->item(i)->isSelected());
      });
      return l;
    }
    case TControlKind::ComboBox: {
      auto* b = new QComboBox(parent);
      QObject::connect(b, &QComboBox::activated, b, [cp, b](int index) {
        // Enter in an editable box activates the current entry; a typed text
        // that differs from it stays as typed.
        if (b->isEditable() && b->currentText() != b->itemText(index)) return;
        static_cast<TComboBox*>(cp)->ClickItem(index);
      });
      QObject::connect(b, &QComboBox::editTextChanged, b, [cp, b](const QString& t) {
        if (b->isEditable()) static_cast<TComboBox*>(cp)->SetText(FromQt(t));
      });
      return b;
    }
    case TControlKind::StringGrid: {
      auto* t = new QTableWidget(parent);
      t->horizontalHeader()->hide();
      t->verticalHeader()->hide();
      QObject::connect(t, &QTableWidget::cellChanged, t, [cp, t](int row, int col) {
        static_cast<TStringGrid*>(cp)->SetCell(col, row, FromQt(t->item(row, col)->text()));
      });
      QObject::connect(t, &QTableWidget::currentCellChanged, t, [cp](int row, int col, int, int) {
        if (row >= 0 && col >= 0) static_cast<TStringGrid*>(cp)->SetCurrentCell(col, row);
      });
      return t;
    }
    case TControlKind::PaintBox:
      return new TQtPaintBoxWidget(static_cast<TPaintBox&>(c), parent);
    case TControlKind::ScrollBar: {
      auto* s = new QScrollBar(parent);
      if (static_cast<TScrollBar*>(cp)->OnScroll) s->setFocusPolicy(Qt::NoFocus);
      QObject::connect(s, &QScrollBar::valueChanged, s,
                       [cp](int v) { static_cast<TScrollBar*>(cp)->SetPosition(v); });
      // A bar whose owner scrolls: the action is reported and undone here;
      // the owner sets the position it chooses.
      QObject::connect(s, &QAbstractSlider::actionTriggered, s, [cp, s](int a) {
        auto* bar = static_cast<TScrollBar*>(cp);
        if (!bar->OnScroll) return;
        TScrollCode code;
        switch (a) {
          case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
          case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
          case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
          case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
          case QAbstractSlider::SliderToMinimum: code = scTop; break;
          case QAbstractSlider::SliderToMaximum: code = scBottom; break;
          case QAbstractSlider::SliderMove: code = scTrack; break;
          default: return;
        }
        const int target = s->sliderPosition();
        if (code != scTrack) s->setSliderPosition(s->value());
        bar->Scroll(code, target);
      });
      QObject::connect(s, &QAbstractSlider::sliderReleased, s, [cp, s] {
        auto* bar = static_cast<TScrollBar*>(cp);
        if (bar->OnScroll) bar->Scroll(scPosition, s->sliderPosition());
      });
      return s;
    }
    case TControlKind::SpeedButton: {
      auto* b = new QToolButton(parent);
      b->setAutoRaise(false);
      QObject::connect(b, &QToolButton::clicked, b, [cp] {
        cp->ClickFromBackend();
        if (cp->Peer()) cp->Peer()->Changed(TChange::Value);
      });
      return b;
    }
    case TControlKind::TabbedPages: {
      auto* t = new QTabWidget(parent);
      QObject::connect(t, &QTabWidget::currentChanged, t,
                       [cp](int i) { static_cast<TTabbedPages*>(cp)->SetActivePage(i); });
      return t;
    }
    case TControlKind::TabPage: {
      auto* tabs = qobject_cast<QTabWidget*>(parent);
      auto* page = new QWidget;
      if (tabs) {
        QSignalBlocker block(tabs);
        tabs->addTab(page, ToQt(c.Caption()));
      } else {
        page->setParent(parent);
      }
      return page;
    }
    case TControlKind::Gauge: {
      auto* g = new QProgressBar(parent);
      g->setTextVisible(true);
      return g;
    }
    case TControlKind::Image:
      return new TQtImageWidget(static_cast<TImage&>(c), parent);
    case TControlKind::ColorGrid:
      return new TQtColorGridWidget(static_cast<TColorGrid&>(c), parent);
    case TControlKind::StatusBar:
      return new TQtStatusBarWidget(static_cast<TStatusBar&>(c), parent);
    case TControlKind::ScrollBox: {
      auto* a = new QScrollArea(parent);
      a->setFrameShape(QFrame::NoFrame);
      a->setWidgetResizable(false);
      a->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      a->setWidget(new QWidget);
      QObject::connect(a->verticalScrollBar(), &QScrollBar::valueChanged, a,
                       [cp](int v) { static_cast<TScrollBox*>(cp)->SetScrollTop(v); });
      return a;
    }
    case TControlKind::Timer:
      break;
  }
  return new QWidget(parent);
}

// ------------------------------------------------------------ the backend

TQtFormWindow* WindowOf(TForm& form) {
  BuildPeer(form, nullptr);
  return static_cast<TQtFormWindow*>(static_cast<TQtPeer*>(form.Peer())->Widget());
}

// Key strokes go to the control holding the keyboard focus first; a key
// its handlers swallow never reaches the widget. Widgets that belong to no
// control (the common dialogs, menus) get their keys untouched.
class TQtKeyRouter : public QObject {
 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
    if (obj != QApplication::focusWidget()) return false;  // once per key, not per parent
    if (QApplication::activePopupWidget()) return false;   // an open menu takes its keys
    TControl* control = ControlAt(static_cast<QWidget*>(obj));
    if (!control) return false;
    auto* ke = static_cast<QKeyEvent*>(e);
    uint16_t vk = static_cast<uint16_t>(QtKeyToVirtualKey(ke->key()));
    TShiftState shift = ShiftOf(ke->modifiers());
    if (e->type() == QEvent::KeyRelease) {
      if (vk && !ke->isAutoRepeat()) control->KeyUp(vk, shift);
      return false;
    }
    if (vk && control->KeyDown(vk, shift) == 0) return true;
    QString text = ke->text();
    if (text.size() == 1 && text[0].unicode() < 128 && text[0].unicode() != 0) {
      char c = char(text[0].unicode());
      if (control->KeyPress(c) == 0) return true;
    }
    return false;
  }
};

// A window opened from a window with menus (the main window, the editor)
// belongs to it: the window manager keeps it above that window, so a report
// or status window never opens behind the window the command came from.
// One opened while a modal box is up (a progress box over a dialog) belongs
// to that box. When the window in front has no menus of its own (a progress
// box, a window that just closed), the window with menus the command runs
// in is the owner. The tie is the window system's transient link, not Qt
// parenthood: the form keeps its own lifetime.
TQtFormWindow* OwnerFor(TQtFormWindow* w) {
  auto* modal = dynamic_cast<TQtFormWindow*>(QApplication::activeModalWidget());
  if (modal != nullptr && modal != w && modal->isVisible()) return modal;
  auto* active = dynamic_cast<TQtFormWindow*>(QApplication::activeWindow());
  if (active != nullptr && active != w && active->HasMenuBar()) return active;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    auto* candidate = dynamic_cast<TQtFormWindow*>(top);
    if (candidate != nullptr && candidate != w && candidate->HasMenuBar() && candidate->isVisible())
      return candidate;
  }
  return nullptr;
}

void TieToActiveWindow(TQtFormWindow* w) {
  if (w->HasMenuBar()) return;
  TQtFormWindow* owner = OwnerFor(w);
  if (owner == nullptr) return;
  w->winId();  // the window system's window, to carry the link
  owner->winId();
  if (QWindow* handle = w->windowHandle()) handle->setTransientParent(owner->windowHandle());
}

QWindow* OwnerWindowOf(TQtFormWindow* w) { return w->windowHandle() ? w->windowHandle()->transientParent() : nullptr; }

// Brings a shown window to the front with the keyboard focus: on the
// form's active control, else on its default button.
void TakeKeyboard(TQtFormWindow* w, TForm& form) {
  if (!w->isVisible()) return;
  w->raise();
  w->activateWindow();
  static_cast<TQtPeer*>(form.Peer())->Changed(TChange::Focus);
  // The window's own focus child counts too: the window system may not
  // have activated the window yet, and it gives that child the focus when
  // it does.
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && w->isAncestorOf(focus)) return;
  focus = w->focusWidget();
  if (focus != nullptr && w->isAncestorOf(focus)) return;
  for (QPushButton* b : w->findChildren<QPushButton*>())
    if (b->isDefault() && b->isEnabled() && b->isVisible()) {
      b->setFocus(Qt::OtherFocusReason);
      return;
    }
}

class TQtFormsBackend : public TFormsBackend {
 public:
  void RunModal(TForm& form) override {
    TQtFormWindow* w = WindowOf(form);
    w->FitToClient();
    w->PlaceOnScreen();  // a modal window that keeps its place (the text editor's)
    w->KeepOnScreen();
    w->setWindowModality(Qt::ApplicationModal);
    if (form.ModalEnded()) return;  // closed already while showing
    TieToActiveWindow(w);
    // The control the form chose gets the focus before the window shows:
    // the dialog then does not hand it to its default button, and the
    // window system's activation, whenever it comes, finds it there.
    static_cast<TQtPeer*>(form.Peer())->Changed(TChange::Focus);
    // Once the box is up it takes the keyboard: the activation a closing
    // menu hands back to the window below may arrive after the show, and
    // Enter would then reach no button until the box is clicked.
    QTimer::singleShot(0, w, [w, &form] { TakeKeyboard(w, form); });
    w->exec();
  }
  void EndModal(TForm& form) override {
    if (!form.Peer()) return;
    if (auto* w = dynamic_cast<TQtFormWindow*>(static_cast<TQtPeer*>(form.Peer())->Widget())) w->done(form.ModalResult());
  }
  void ShowForm(TForm& form) override {
    TQtFormWindow* w = WindowOf(form);
    w->setWindowModality(Qt::NonModal);
    w->FitToClient();
    w->PlaceOnScreen();
    w->KeepOnScreen();
    TieToActiveWindow(w);
    w->PlaceOverOwner(OwnerWindowOf(w));
    if (form.Maximized())
      w->showMaximized();
    else
      w->show();
    // Opened by a command: it comes to the front with the keyboard focus.
    w->raise();
    w->activateWindow();
    static_cast<TQtPeer*>(form.Peer())->Changed(TChange::Focus);
  }
  void HideForm(TForm& form) override {
    if (!form.Peer()) return;
    if (QWidget* w = static_cast<TQtPeer*>(form.Peer())->Widget()) w->hide();
  }
  void BringFormToFront(TForm& form) override {
    if (!form.Peer()) return;
    QWidget* w = static_cast<TQtPeer*>(form.Peer())->Widget();
    if (!w) return;
    if (w->isMinimized()) w->showNormal();
    w->raise();
    w->activateWindow();
  }
  TPoint TextExtent(const std::string& text) override {
    QFontMetrics m(QApplication::font());
    return TPoint{m.horizontalAdvance(ToQt(text)), m.height()};
  }
  TPoint FixedPitchTextExtent(const std::string& text) override {
    QFontMetrics m(FixedPitchFont());
    return TPoint{m.horizontalAdvance(ToQt(text)), m.height()};
  }
  // One override cursor at most: the hourglass replaces the arrow until
  // the arrow is asked for again.
  void SetCursor(int32_t cursor) override {
    if (cursor == crDefault) {
      while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
    } else if (QApplication::overrideCursor() != nullptr) {
      QApplication::changeOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    }
  }
};

}  // namespace

void InstallQtFormsBackend() {
  static TQtFormsBackend backend;
  static TQtKeyRouter* router = nullptr;
  SetFormsBackend(&backend);
  InstallQtMenusBackend();
  if (!router && qApp) {
    router = new TQtKeyRouter;
    router->setParent(qApp);
    qApp->installEventFilter(router);
    QObject::connect(qApp, &QApplication::focusChanged, router, [](QWidget*, QWidget* now) {
      TControl* control = ControlAt(now);
      if (!control || !control->CanFocus()) return;
      if (TForm* form = control->Form()) form->FocusFromBackend(control);
    });
  }
}

QWidget* QtWidgetOf(TControl& control) {
  if (TForm* form = control.Form()) WindowOf(*form);
  auto* peer = dynamic_cast<TQtPeer*>(control.Peer());
  return peer ? peer->Widget() : nullptr;
}
