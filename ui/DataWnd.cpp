#include "ui/DataWnd.h"

#include <QResizeEvent>

#include "eventlog/widgets/OutWnd.h"

CDataWnd::CDataWnd(QWidget* parent) : QWidget(parent) {
  m_pOutWnd = new COutWnd(this);
  m_pOutWnd->setProperty("childId", kOutWndId);
  // Long lines break at the pane's width, at the last blank.
  m_pOutWnd->m_bWrapToWindow = true;
  m_pOutWnd->m_bWordWrap = true;
  m_pOutWnd->setGeometry(rect());
  m_pOutWnd->show();
}

CDataWnd::~CDataWnd() {
  delete m_pOutWnd;
  m_pOutWnd = nullptr;
}

void CDataWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!m_pOutWnd) return;
  m_pOutWnd->setGeometry(0, 0, event->size().width(), event->size().height());
  m_pOutWnd->update();
}
