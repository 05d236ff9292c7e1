#pragma once

#include "AppPalette.h"
#include "CDlgFontScaler.h"
#include "DialogTemplate.h"

#include <QDialog>

class QPainter;

// The base of every themed dialog: one fixed initialisation sequence with hooks for the derived
// dialog, the font scaler, layout on every size change, the dark colours with a one-pixel frame.
//
// A derived dialog
//   - passes its template (or only its number) to the constructor;
//   - creates its controls in its constructor, each with its number as object name
//     (SetControlId), or lets CreateTemplateControls make them from the template;
//   - fills InitControls (set-up), RepositionControls (layout), and if it likes OnInitDone and
//     DrawExtra.
// Initialisation runs once, when the dialog is first shown (exec(), show()) or by Create() for a
// dialog that starts hidden:
//   font scaler Apply (FontResolution(), 96 by default) -> colours -> InitControls -> OnInitDone ->
//   m_bLayoutReady = true -> RepositionControls.
// Before that no size change calls RepositionControls.
class CDlgComm : public QDialog {
    Q_OBJECT
  public:
    explicit CDlgComm(int templateId, QWidget *parent = nullptr);
    explicit CDlgComm(DialogTemplate tmpl, QWidget *parent = nullptr);
    ~CDlgComm() override;

    // Runs the initialisation without showing the dialog (a modeless dialog that starts hidden).
    // Does nothing when it ran already. Returns true.
    bool Create();
    bool IsInitialized() const { return m_bInitialized; }

    int TemplateId() const { return m_nTemplateId; }
    const DialogTemplate &Template() const { return m_template; }
    CDlgFontScaler &FontScaler() { return m_fontScaler; }

    // Controls carry their number as object name.
    static void SetControlId(QWidget *control, int id);
    static int ControlIdOf(const QObject *control); // 0 when it has none
    QWidget *GetDlgItem(int id) const;
    template <class T> T *DlgItem(int id) const { return qobject_cast<T *>(GetDlgItem(id)); }

    // Colour conversions for widgets.
    static QColor ToQColor(ColorRef c);

  protected:
    // The initialisation sequence; a dialog with its own sequence overrides it and may call the
    // steps below. Returns true.
    virtual bool OnInitDialog();
    virtual void OnInitDone() {}
    virtual void InitControls() {}
    virtual void RepositionControls() { update(); }
    // Extra painting on the dialog's background, before the frame.
    virtual void DrawExtra(QPainter &painter);
    // Resolution the font scaler makes the template's font for.
    virtual double FontResolution() const { return 96.0; }
    // The screen's resolution in dots per inch, for laying grids out.
    virtual int ResolutionX() const { return logicalDpiX(); }
    virtual int ResolutionY() const { return logicalDpiY(); }
    // Makes the widget of a Grid or Custom template control; the default makes a plain widget.
    virtual QWidget *CreateCustomControl(const DialogControl &control);

    // Steps of the initialisation.
    // Makes a widget for each template control that has none yet (push buttons, check boxes, radio
    // groups, group boxes, statics, edits, date pickers, progress bars; grids through
    // CreateCustomControl), with caption, number, visibility and enabling from the template.
    void CreateTemplateControls();
    // Dialog background backColor, text textColor, from the application's palette as it is now.
    void ApplyControlColors();

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  public:
    void setVisible(bool visible) override;

  protected:
    DialogTemplate m_template;
    int m_nTemplateId = 0;
    CDlgFontScaler m_fontScaler;
    bool m_bLayoutReady = false; // no layout before initialisation has set the controls up
    bool m_bDrawFrame = true;    // a one-pixel frame around the client area
    ColorRef m_clrFrame = 0;     // its colour: the palette's borderColor when the dialog was made

  private:
    void RunInitialisation();
    bool m_bInitialized = false;
    bool m_bInitializing = false;
};
