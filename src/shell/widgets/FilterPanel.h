#pragma once

#include "shell/FilterSettings.h"

#include <QAbstractButton>
#include <QFrame>

class QComboBox;
class QMouseEvent;
class QPushButton;
class QSpinBox;

namespace pelorix
{

class EventLabel;
class PictureButton;

// A 57 x 32 picture check box: a switch drawn lit when on, dark when off, grey when disabled.
class PictureCheckBox final : public QAbstractButton
{
    Q_OBJECT

  public:
    explicit PictureCheckBox(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {57, 32}; }

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// The filter panel Panel1: 473 x 322, black, a lowered bevel, hidden until opened. Its controls keep their design
// names; the main window connects their handlers.
class FilterPanel final : public QFrame
{
    Q_OBJECT

  public:
    explicit FilterPanel(QWidget *parent = nullptr);

    // The panel's controls as they stand, and the controls set from a loaded state (companions enabled to match).
    FilterPanelState state() const;
    void setState(const FilterPanelState &state);

    EventLabel *Label4 = nullptr;  // "Hide Non Accessible Servers"
    EventLabel *Label5 = nullptr;  // "Max Ping"
    EventLabel *Label6 = nullptr;  // "Game Type"
    EventLabel *Label10 = nullptr; // "Show Only Game Version"
    EventLabel *Label7 = nullptr;  // "Hide Password Protected"
    EventLabel *Label8 = nullptr;  // "Hide Full Servers"
    EventLabel *Label9 = nullptr;  // "Hide Empty Servers"
    PictureCheckBox *JvgCheckBox1 = nullptr;
    PictureCheckBox *JvgCheckBox2 = nullptr;
    PictureCheckBox *JvgCheckBox3 = nullptr;
    PictureCheckBox *JvgCheckBox4 = nullptr;
    PictureCheckBox *JvgCheckBox5 = nullptr;
    PictureCheckBox *JvgCheckBox6 = nullptr;
    PictureCheckBox *JvgCheckBox7 = nullptr;
    QSpinBox *JvSpinEdit1 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QPushButton *button_findplayer = nullptr;
    PictureButton *sSpeedButton4 = nullptr; // OK
    PictureButton *sSpeedButton3 = nullptr; // Cancel

  signals:
    // A press and a click on the panel's own background.
    void mousePressed(QMouseEvent *event);
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace pelorix
