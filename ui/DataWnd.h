// CDataWnd: the information pane, the lower row of the main frame's splitter.
// It holds the program's log window, which fills the whole pane and, being
// the first output window constructed, receives the main log.
#pragma once

#include <QWidget>

class COutWnd;
class QResizeEvent;

class CDataWnd : public QWidget {
  Q_OBJECT

 public:
  // Child id of the log window, kept as its "childId" property.
  static constexpr int kOutWndId = 2112;
  // Height of the pane when the frame starts.
  static constexpr int kInitialHeight = 140;

  explicit CDataWnd(QWidget* parent = nullptr);
  ~CDataWnd() override;

  COutWnd* m_pOutWnd = nullptr;  // owned

 protected:
  void resizeEvent(QResizeEvent* event) override;
};
