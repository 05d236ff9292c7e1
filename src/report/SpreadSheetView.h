#pragma once

// SpreadSheetView: the widget that draws the shown sheet of a CSpreadSheet and lets the operator edit
// editable and number cells, tick check boxes and click button cells. It repaints only the cells the model
// reports as changed and paints nothing while the model's display updates are off.
//
// Sizes: a width unit is 120 twips and a height unit 20 twips, turned into pixels with the widget's logical
// resolution (8 and 1.33 pixels at 96 dots per inch).

#include "CSpreadSheet.h"

#include <QAbstractScrollArea>
#include <QPointer>

class QLineEdit;

class SpreadSheetView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit SpreadSheetView(CSpreadSheet *model, QWidget *parent = nullptr);
    ~SpreadSheetView() override;

    CSpreadSheet *Model() const { return m_model; }

    // Geometry of the shown sheet in viewport pixels (already scrolled); an empty rect if out of the sheet.
    // A joined cell answers the rectangle of the whole join.
    QRect CellRect(int col, int row) const;
    // The data cell at a viewport point, or false for headers and the empty area.
    bool CellAt(const QPoint &pos, int *col, int *row) const;
    double PixelsPerWidthUnit() const;
    double PixelsPerHeightUnit() const;

    // Starts the editor on a cell, as a double click does; false if the cell is not editable.
    bool EditCell(int col, int row);
    QLineEdit *Editor() const { return m_editor; }

    QSize sizeHint() const override;

    // While on, the view keeps the last row in sight as rows are added (a download in progress); switched
    // off, it leaves the last row in sight.
    void SetFollowLastRow(bool follow);

  signals:
    void ButtonClicked(int col, int row, int buttonDown); // forwarded from the model

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override; // cell tooltips

  private:
    void OnCellsChanged(int sheet, int col1, int row1, int col2, int row2);
    void OnLayoutChanged(int sheet);
    void RebuildLayout();
    void ComputeEdges() const;
    void EnsureEdges() const
    {
        if (m_edgesDirty)
            ComputeEdges();
    }
    void Activate(int col, int row);
    void CommitEditor();
    void CancelEditor();
    int HeaderWidth() const;
    int HeaderHeight() const;
    int ColumnX(int col) const; // content x of a column's left edge (without header and scrolling)
    int RowY(int row) const;
    int ColumnAtX(int x) const;
    int RowAtY(int y) const;
    void PaintCell(QPainter &p, const grid::GridSheet &sheet, int col, int row, const QRect &rect);

    QPointer<CSpreadSheet> m_model;
    // Pixel edge after each column and row, cumulative (content coordinates). Worked out again when first
    // needed after a layout change; rows only added to the same sheet extend the row edges from the
    // running sum, so appending a row costs the same at row 60,000 as at row 10.
    mutable std::vector<int> m_colEdges;
    mutable std::vector<int> m_rowEdges;
    mutable bool m_edgesDirty = true;
    mutable const grid::GridSheet *m_edgeSheet = nullptr;
    mutable uint64_t m_edgeRevision = 0;
    mutable double m_edgeUnitY = 0;
    mutable double m_rowSum = 0;
    bool m_followLastRow = false;
    bool m_rebuildQueued = false;
    int m_currentCol = 0;
    int m_currentRow = 0;
    int m_pressedCol = 0; // button cell being pressed
    int m_pressedRow = 0;
    QLineEdit *m_editor = nullptr;
    int m_editCol = 0;
    int m_editRow = 0;
};
