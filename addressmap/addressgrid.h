// The 128 seven-bit addresses as 8 rows of 16 cells: hex address and symbol
// name (wrapped onto two lines in a smaller font, whole in the tooltip),
// coloured as the record rows colour addresses and their answers, by what the
// bus did there (seen, answered, only NACKed), and brightened while the
// address is active. Clicking a cell selects it;
// clicking it again clears the selection.
#pragma once

#include "addressmap/addressfigures.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

class AddressGrid : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kColumns = 16;
    static constexpr int kRows = 8;
    static constexpr int kCells = kColumns * kRows;
    // How long a cell stays lit after its address was last active.
    static constexpr qint64 kFadeMs = 3000;

    explicit AddressGrid(QWidget *parent = nullptr);

    // New figures at time nowMs (a monotonic clock); an address whose
    // activity moved since the last call lights up.
    void setFigures(const std::array<AddressFigures, kCells> &figures, qint64 nowMs);
    void setNames(const std::array<QString, kCells> &names);
    void setSelectedAddress(int address); // -1: none
    int selectedAddress() const { return m_selected; }

    // The cell under a point, -1 outside the grid.
    int addressAt(const QPoint &point) const;
    QRect cellRect(int address) const;
    // Light left in an address's cell at nowMs: 1 just active, 0 faded.
    double activityAt(int address, qint64 nowMs) const;
    // The tooltip: every figure of the address.
    QString toolTipText(int address) const;
    // The lines the cell shows its name on at the present size ("" none).
    QStringList cellNameLines(int address) const;
    // The fill of a resting cell's state, before dimming.
    static QColor stateColour(const AddressFigures &figures);

    // name broken at spaces and after "/" into lines no wider than width,
    // at most maxLines: what does not fit is elided at the end of the last.
    static QStringList nameLines(const QString &name, const QFontMetrics &metrics, int width,
                                 int maxLines);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void addressClicked(int address);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    // Name lines and their font for every cell, laid out again only when
    // the names or the size change, not on every tick's repaint.
    void layOutNames();

    std::array<AddressFigures, kCells> m_figures{};
    std::array<QStringList, kCells> m_nameLines;
    std::array<qreal, kCells> m_namePointSize{};
    std::array<QString, kCells> m_names;
    std::array<qint64, kCells> m_activeAtMs{};
    qint64 m_nowMs = 0;
    int m_selected = -1;
};
