// The 128 seven-bit addresses as 8 rows of 16 cells: hex address and symbol
// name, coloured by what the bus did there (seen, answered, only NACKed) and
// brightened while the address is active. Clicking a cell selects it;
// clicking it again clears the selection.
#pragma once

#include "addressfigures.h"

#include <QString>
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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void addressClicked(int address);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    std::array<AddressFigures, kCells> m_figures{};
    std::array<QString, kCells> m_names;
    std::array<qint64, kCells> m_activeAtMs{};
    qint64 m_nowMs = 0;
    int m_selected = -1;
};
