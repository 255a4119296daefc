#include "ui/TaskDialog.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <functional>
#include <string>
#include <utility>

namespace {

CTaskDialog::TickSource g_tickSource = nullptr;

constexpr int kMainIconSize = 32;
constexpr int kTextColumnMinWidth = 380;
constexpr double kMainInstructionScale = 1.3;
constexpr double kFooterScale = 0.9;

// `font` scaled by `factor`, whether it is sized in points or in pixels.
QFont Scaled(QFont font, double factor) {
  if (font.pointSizeF() > 0)
    font.setPointSizeF(font.pointSizeF() * factor);
  else if (font.pixelSize() > 0)
    font.setPixelSize(qRound(font.pixelSize() * factor));
  return font;
}

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The countdown format with its "%d" replaced by `value` ("%%" is a percent
// sign); any other text is kept as it is.
std::u16string FormatCount(const std::u16string& format, DWORD value) {
  std::u16string out;
  bool substituted = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (format[i + 1] == u'd' && !substituted) {
        for (char c : std::to_string(value)) out += static_cast<char16_t>(c);
        substituted = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

// The running dialog. Escape and the close box both arrive as reject(); they
// end the dialog with the cancel id only when cancellation is allowed, and
// the button press goes through the owner so its callback sees it.
class CTaskDialogWindow : public QDialog {
 public:
  CTaskDialogWindow(QWidget* parent, std::function<void(int)> press, bool canCancel)
      : QDialog(parent), m_press(std::move(press)), m_bCanCancel(canCancel) {}

  void reject() override {
    if (m_bCanCancel) m_press(CTaskDialog::kIdCancel);
  }

 private:
  std::function<void(int)> m_press;
  bool m_bCanCancel;
};

}  // namespace

CTaskDialog::CTaskDialog() = default;

CTaskDialog::CTaskDialog(QWidget* pParent, std::u16string title, std::u16string mainInstruction,
                         std::u16string content, std::u16string footer)
    : m_pParent(pParent),
      m_dwFlags(kDefaultFlags),
      m_dwCommonButtons(TDCBF_OK_BUTTON),
      m_strTitle(std::move(title)),
      m_strMainInstruction(std::move(mainInstruction)),
      m_strContent(std::move(content)),
      m_strFooter(std::move(footer)) {}

CTaskDialog::~CTaskDialog() = default;

void CTaskDialog::EnableAutoClose() {
  m_dwAutoCloseMs = 5000;
  m_nAutoCloseButton = kIdOk;
  m_strCountdownFormat = u"This window will automatically close in %d seconds";
  m_dwFlags |= TDF_CALLBACK_TIMER;
  // A blank footer gives the dialog its footer area from the start, so the
  // countdown does not make it grow at the first tick.
  SetFooter(u" ");
}

void CTaskDialog::SetFooter(std::u16string text) {
  m_strFooter = std::move(text);
  if (!m_pFooterLabel) return;
  m_pFooterLabel->setText(ToQString(m_strFooter));
  const bool visible = !m_strFooter.empty();
  m_pFooterLabel->setVisible(visible);
  m_pFooterSeparator->setVisible(visible);
}

void CTaskDialog::SetTickSource(TickSource source) { g_tickSource = source; }

DWORD CTaskDialog::CurrentTick() {
  if (g_tickSource) return g_tickSource();
  // Milliseconds of the monotonic clock, wrapping like a 32-bit tick count;
  // every user subtracts two ticks, so the wrap is harmless.
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int CTaskDialog::DoModal() {
  // Widgets need a widget application, and a dialog cannot be run twice at
  // once (the second run would reuse the first one's labels).
  if (m_bRunning || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
    m_hResult = E_FAIL;
    return m_nButton;
  }
  m_bRunning = true;
  m_dwStartTick = CurrentTick();
  m_nButton = 0;

  // On the heap and watched: an owner destroyed while the dialog runs takes
  // the dialog with it.
  QPointer<QDialog> dlg =
      new CTaskDialogWindow(m_pParent, [this](int id) { ClickButton(id); }, m_dwFlags & TDF_ALLOW_DIALOG_CANCELLATION);
  dlg->setObjectName(QStringLiteral("taskDialog"));
  dlg->setWindowTitle(m_strTitle.empty() ? QGuiApplication::applicationDisplayName() : ToQString(m_strTitle));
  dlg->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  if (!(m_dwFlags & TDF_ALLOW_DIALOG_CANCELLATION)) dlg->setWindowFlag(Qt::WindowCloseButtonHint, false);
  if (!m_mainIcon.isNull()) dlg->setWindowIcon(m_mainIcon);

  auto* outer = new QVBoxLayout(dlg);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  auto* top = new QHBoxLayout;
  top->setSpacing(14);
  if (!m_mainIcon.isNull()) {
    auto* icon = new QLabel(dlg);
    icon->setObjectName(QStringLiteral("mainIcon"));
    icon->setPixmap(m_mainIcon.pixmap(kMainIconSize, kMainIconSize));
    icon->setFixedSize(kMainIconSize, kMainIconSize);
    top->addWidget(icon, 0, Qt::AlignTop);
  }
  auto* texts = new QVBoxLayout;
  texts->setSpacing(10);
  auto makeLabel = [&](const char* name, const std::u16string& text) {
    auto* label = new QLabel(ToQString(text), dlg);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(kTextColumnMinWidth);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
  };
  QLabel* instruction = makeLabel("mainInstruction", m_strMainInstruction);
  QFont bold = Scaled(instruction->font(), kMainInstructionScale);
  bold.setBold(true);
  instruction->setFont(bold);
  instruction->setVisible(!m_strMainInstruction.empty());
  texts->addWidget(instruction);
  QLabel* content = makeLabel("content", m_strContent);
  content->setVisible(!m_strContent.empty());
  texts->addWidget(content);
  top->addLayout(texts, 1);
  outer->addLayout(top);

  auto* separator = new QFrame(dlg);
  separator->setObjectName(QStringLiteral("footerSeparator"));
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  outer->addSpacing(6);
  outer->addWidget(separator);
  QLabel* footer = makeLabel("footer", m_strFooter);
  footer->setFont(Scaled(footer->font(), kFooterScale));
  outer->addWidget(footer);
  m_pFooterLabel = footer;
  m_pFooterSeparator = separator;
  SetFooter(std::move(m_strFooter));

  // The OK button, also when no common button is named.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"), dlg);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dlg, [this] { ClickButton(kIdOk); });
  buttons->addWidget(ok);
  outer->addSpacing(4);
  outer->addLayout(buttons);
  ok->setFocus();

  m_hWnd = dlg;
  OnCallback(dlg, TDN_CREATED, 0, 0);

  // The timer notification runs only for dialogs that asked for it.
  if (m_dwFlags & TDF_CALLBACK_TIMER) {
    auto* timer = new QTimer(dlg);
    timer->setObjectName(QStringLiteral("taskDialogTimer"));
    timer->setInterval(kTimerIntervalMs);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, dlg, [this, dlg, clock] {
      if (dlg) OnCallback(dlg, TDN_TIMER, static_cast<WPARAM>(clock.elapsed()), 0);
    });
    timer->start();
  }

  const int result = dlg->exec();
  if (dlg) {
    m_nButton = result;
    OnCallback(dlg, TDN_DESTROYED, 0, 0);
    delete dlg;
  } else {
    // Destroyed with its owner: ended without any button.
    m_nButton = kIdCancel;
  }
  m_hResult = S_OK;
  m_hWnd = nullptr;
  m_pFooterLabel = nullptr;
  m_pFooterSeparator = nullptr;
  m_bRunning = false;
  return m_nButton;
}

void CTaskDialog::ClickButton(int id) {
  if (!m_hWnd) return;
  // A nonzero answer to the click notification keeps the dialog open.
  if (OnCallback(m_hWnd, TDN_BUTTON_CLICKED, static_cast<WPARAM>(id), 0) != 0) return;
  // Stop the countdown, so a late tick cannot press a second time.
  for (QTimer* timer : m_hWnd->findChildren<QTimer*>(QStringLiteral("taskDialogTimer"))) timer->stop();
  m_hWnd->done(id);
}

LRESULT CTaskDialog::OnCallback(QDialog* hWnd, UINT uNotification, WPARAM wParam, LPARAM lParam) {
  m_hWnd = hWnd;
  if (uNotification == TDN_TIMER) return OnTimer(wParam, lParam);
  return 0;
}

LRESULT CTaskDialog::OnTimer(WPARAM, LPARAM) {
  const DWORD elapsed = CurrentTick() - m_dwStartTick;
  if (m_dwAutoCloseMs == 0) return 0;
  const bool timeUp = elapsed >= m_dwAutoCloseMs;
  // A started second counts as a whole one: 4001 ms left read "5 seconds".
  const DWORD remaining = timeUp ? 0 : (m_dwAutoCloseMs - elapsed + 999) / 1000;
  SetFooter(FormatCount(m_strCountdownFormat, remaining));
  if (timeUp) ClickButton(m_nAutoCloseButton);
  return 0;
}
