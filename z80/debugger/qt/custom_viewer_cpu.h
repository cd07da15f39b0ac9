// The base of the debugger's viewers: paints into an off-screen picture and
// copies it to the screen in one step, draws the selection in one set of
// colours, focuses itself on a click, and turns a double click into an
// action on the button release that follows it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>

#include "z80/debugger/z80_unit.h"

class QPainter;

enum class TBorderStyle { bsNone, bsSingle };

class TCustomViewerCPU : public QWidget, public TSnapshotViewer {
 public:
  explicit TCustomViewerCPU(QWidget* parent = nullptr);

  // The lines are measured and built for the current size and font.
  bool StringsBuilt = false;

  TBorderStyle GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);

  virtual void DrawLines() = 0;
  virtual void BuildStrs() = 0;
  virtual void UpdateData() { BuildStrs(); }
  // Asks for a repaint, only of a shown control inside a parent.
  void Invalidate() override;

  // The part inside the frame, which the viewers draw on.
  int ClientWidth() const { return width() - 2 * FrameWidth(); }
  int ClientHeight() const { return height() - 2 * FrameWidth(); }

  // Selection colours: white on navy with the focus, silver on grey without.
  static QColor SelectionText(bool focused);
  static QColor SelectionBackground(bool focused);

 protected:
  int FrameWidth() const { return borderStyle_ == TBorderStyle::bsSingle ? 2 : 0; }
  QColor ControlColor() const;
  QColor FontColor() const;

  // The picture of (ClientWidth-1) x ClientHeight, filled with the control
  // colour, for DrawLines to paint on; Present shows it.
  QImage& BeginPicture();
  void Present();
  // Text placed by its top edge, as the lines are measured.
  static void TextOut(QPainter& p, int x, int y, const QString& text);
  // The dotted frame of the focused selected row along its top, bottom and
  // left edges: yellow on odd coordinates, black on even ones.
  static void DottedFrame(QImage& image, int top, int height);

  // Whether the control had the focus before the button press being handled:
  // the press that focuses a viewer does nothing else where the viewer acts
  // only while focused.
  bool FocusedBeforePress() const { return focusedBeforePress_; }
  // True once after a double click: the release that follows acts on it.
  bool TakeDoubleClick();

  virtual void MouseDown(QMouseEvent*) {}
  virtual void MouseMove(QMouseEvent*) {}
  virtual void MouseUp(QMouseEvent*) {}
  virtual void KeyDown(int) {}
  // Control coordinates of a mouse event (frame taken off).
  QPoint ClientPos(const QMouseEvent* e) const;

  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void focusInEvent(QFocusEvent*) override;
  void focusOutEvent(QFocusEvent*) override;
  void changeEvent(QEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

  // The font the lines were measured with: a changed font measures again.
  QFont builtFont_;

 private:
  void Paint();

  QImage picture_;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  bool inPaint_ = false;
  bool focusedBeforePress_ = false;
  // Each control keeps its own, so a double click on one viewer never
  // fires on another.
  bool doubleClicked_ = false;
};
