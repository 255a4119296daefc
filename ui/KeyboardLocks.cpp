#include "ui/KeyboardLocks.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

// The few X library entry points needed, with their C signatures.
using XAtom = unsigned long;
using XInternAtomFn = XAtom (*)(Display*, const char*, int);
using XkbGetNamedIndicatorFn = int (*)(Display*, XAtom, int*, int*, void*, int*);

}  // namespace

struct CKeyboardLocks::Server {
  Display* display = nullptr;
  XkbGetNamedIndicatorFn getNamedIndicator = nullptr;
  XAtom caps = 0;
  XAtom num = 0;
  XAtom scroll = 0;

  bool Indicator(XAtom name) const {
    int state = 0;
    return name != 0 && getNamedIndicator(display, name, nullptr, &state, nullptr, nullptr) && state != 0;
  }
};

CKeyboardLocks::CKeyboardLocks(QObject* parent) : QObject(parent) {
  Display* display = nullptr;
  if (auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
    display = x11->display();
  // RTLD_NOLOAD: use the X library only when the toolkit has loaded it.
  void* lib = display ? dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD) : nullptr;
  if (lib) {
    auto internAtom = reinterpret_cast<XInternAtomFn>(dlsym(lib, "XInternAtom"));
    auto getNamed = reinterpret_cast<XkbGetNamedIndicatorFn>(dlsym(lib, "XkbGetNamedIndicator"));
    if (internAtom && getNamed) {
      m_pServer = new Server;
      m_pServer->display = display;
      m_pServer->getNamedIndicator = getNamed;
      // only_if_exists: a server without such an indicator gives 0 (off).
      m_pServer->caps = internAtom(display, "Caps Lock", 1);
      m_pServer->num = internAtom(display, "Num Lock", 1);
      m_pServer->scroll = internAtom(display, "Scroll Lock", 1);
    }
    dlclose(lib);  // the toolkit keeps its own reference
  }
  if (!m_pServer && qApp) qApp->installEventFilter(this);
}

CKeyboardLocks::~CKeyboardLocks() { delete m_pServer; }

CKeyboardLocks::State CKeyboardLocks::Read() {
  if (!m_pServer) return m_tracked;
  return State{m_pServer->Indicator(m_pServer->caps), m_pServer->Indicator(m_pServer->num),
               m_pServer->Indicator(m_pServer->scroll)};
}

bool CKeyboardLocks::eventFilter(QObject* watched, QEvent* event) {
  // Every key press passes the application once per receiver on its way up;
  // count it only at the widget it was sent to first, which is a window's
  // focus widget or the window.
  if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat() && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget == widget->window()->focusWidget() || (!widget->window()->focusWidget() && widget->isWindow())) {
      switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_CapsLock: m_tracked.caps = !m_tracked.caps; break;
        case Qt::Key_NumLock: m_tracked.num = !m_tracked.num; break;
        case Qt::Key_ScrollLock: m_tracked.scroll = !m_tracked.scroll; break;
        default: break;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}
