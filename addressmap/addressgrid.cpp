#include "addressgrid.h"

#include "addressmapdock.h"

#include <capturerow.h>

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int kMinCellWidth = 26, kMinCellHeight = 24;
constexpr int kCellWidth = 30, kCellHeight = 36;

// The record table's colours: ACK magenta, NACK pink, address orange.
const QColor kUnseen(40, 40, 40), kAnswered(255, 0, 128), kNackOnly(249, 117, 142),
    kSeen(249, 114, 29), kLit(255, 255, 255);

QString timeText(qint64 ns)
{
    std::string text;
    CaptureRow::appendTimestampText(text, ns);
    return QString::fromStdString(text);
}
} // namespace

AddressGrid::AddressGrid(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize AddressGrid::sizeHint() const
{
    return {kColumns * kCellWidth, kRows * kCellHeight};
}

QSize AddressGrid::minimumSizeHint() const
{
    return {kColumns * kMinCellWidth, kRows * kMinCellHeight};
}

void AddressGrid::setFigures(const std::array<AddressFigures, kCells> &figures, qint64 nowMs)
{
    for (int a = 0; a < kCells; ++a) {
        if (figures[size_t(a)].activity != m_figures[size_t(a)].activity &&
            figures[size_t(a)].seen())
            m_activeAtMs[size_t(a)] = nowMs;
    }
    m_figures = figures;
    m_nowMs = nowMs;
    update();
}

void AddressGrid::setNames(const std::array<QString, kCells> &names)
{
    m_names = names;
    update();
}

void AddressGrid::setSelectedAddress(int address)
{
    m_selected = address >= 0 && address < kCells ? address : -1;
    update();
}

QRect AddressGrid::cellRect(int address) const
{
    // Integer edges shared by neighbours, so the cells tile the widget.
    const int c = address % kColumns, r = address / kColumns;
    const int x0 = width() * c / kColumns, x1 = width() * (c + 1) / kColumns;
    const int y0 = height() * r / kRows, y1 = height() * (r + 1) / kRows;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

int AddressGrid::addressAt(const QPoint &point) const
{
    if (!rect().contains(point))
        return -1;
    const int c = point.x() * kColumns / width(), r = point.y() * kRows / height();
    return r * kColumns + c;
}

double AddressGrid::activityAt(int address, qint64 nowMs) const
{
    const qint64 at = m_activeAtMs[size_t(address)];
    if (at == 0 || nowMs - at >= kFadeMs)
        return 0.0;
    return 1.0 - double(nowMs - at) / double(kFadeMs);
}

QString AddressGrid::toolTipText(int address) const
{
    const AddressFigures &f = m_figures[size_t(address)];
    QString text =
        QStringLiteral("地址 0x%1")
            .arg(QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper());
    if (!m_names[size_t(address)].isEmpty())
        text += QStringLiteral(" [%1]").arg(m_names[size_t(address)]);
    if (!f.seen())
        return text + QStringLiteral("\n未出现");
    text += QStringLiteral("\n传输次数：%1\n写入字节：%2\n读取字节：%3\n地址NACK：%4\n数据NACK：%5")
                .arg(f.transfers)
                .arg(f.bytesWritten)
                .arg(f.bytesRead)
                .arg(f.nackedAddresses)
                .arg(f.nackedDataBytes);
    text += QStringLiteral("\n首次出现：%1\n最后出现：%2\n总线时钟：%3")
                .arg(timeText(f.firstSeenNs), timeText(f.lastSeenNs),
                     AddressMapDock::clockText(f.clockHz));
    return text;
}

void AddressGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() - 2));
    for (int a = 0; a < kCells; ++a) {
        const AddressFigures &f = m_figures[size_t(a)];
        const QRect cell = cellRect(a).adjusted(1, 1, -1, -1);
        const QColor state = !f.seen()      ? kUnseen
                             : f.answered() ? kAnswered
                             : f.nackOnly() ? kNackOnly
                                            : kSeen;
        // Resting cells are dimmed; activity lights them to the full colour.
        const QColor base = f.seen() ? state.darker(220) : state;
        const double lit = activityAt(a, m_nowMs);
        QColor fill = base;
        if (lit > 0)
            fill.setRgbF(base.redF() + (state.redF() - base.redF()) * lit,
                         base.greenF() + (state.greenF() - base.greenF()) * lit,
                         base.blueF() + (state.blueF() - base.blueF()) * lit);
        p.fillRect(cell, fill);
        if (a == m_selected) {
            p.setPen(QPen(kLit, 2));
            p.drawRect(cell.adjusted(1, 1, -1, -1));
        }
        p.setPen(f.seen() ? kLit : QColor(120, 120, 120));
        const QString hex = QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')).toUpper();
        const QString &name = m_names[size_t(a)];
        // The name goes below the address, both small, when the cell has room.
        const QFontMetrics smallMetrics(small);
        if (name.isEmpty() || cell.height() < 2 * smallMetrics.height()) {
            p.drawText(cell, Qt::AlignCenter, hex);
            continue;
        }
        QRect top = cell, bottom = cell;
        top.setBottom(cell.center().y());
        bottom.setTop(cell.center().y());
        p.setFont(small);
        p.drawText(top, Qt::AlignHCenter | Qt::AlignBottom, hex);
        p.drawText(bottom, Qt::AlignHCenter | Qt::AlignTop,
                   smallMetrics.elidedText(name, Qt::ElideRight, cell.width() - 2));
        p.setFont(font());
    }
}

void AddressGrid::mousePressEvent(QMouseEvent *event)
{
    const int address = addressAt(event->pos());
    if (event->button() == Qt::LeftButton && address >= 0)
        emit addressClicked(address);
}

bool AddressGrid::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int address = addressAt(help->pos());
        if (address >= 0)
            QToolTip::showText(help->globalPos(), toolTipText(address), this, cellRect(address));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
