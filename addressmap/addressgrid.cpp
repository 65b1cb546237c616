#include "addressmap/addressgrid.h"

#include "addressmap/addressmapdock.h"

#include "capture/capturerow.h"
#include "view/rowstyle.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int kMinCellWidth = 26, kMinCellHeight = 24;
// Room for the address and a name of two short words ("24Cxx" / "EEPROM")
// at the smallest name size.
constexpr int kCellWidth = 40, kCellHeight = 40;
// Names go down to this size before they are cut; smaller is unreadable.
constexpr qreal kMinNamePoints = 6.0;
constexpr int kNameLines = 2;

const QColor kUnseen(40, 40, 40), kLit(255, 255, 255), kUnseenText(120, 120, 120);

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
    layOutNames();
    update();
}

void AddressGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOutNames();
}

QStringList AddressGrid::cellNameLines(int address) const
{
    return address >= 0 && address < kCells ? m_nameLines[size_t(address)] : QStringList();
}

QColor AddressGrid::stateColour(const AddressFigures &f)
{
    // As the record rows show an address's answer: ACK, NACK, or the address itself.
    return !f.seen()      ? kUnseen
           : f.answered() ? RowStyle::color(RowStyle::Magenta)
           : f.nackOnly() ? RowStyle::color(RowStyle::Pink)
                          : RowStyle::color(RowStyle::Orange);
}

QStringList AddressGrid::nameLines(const QString &name, const QFontMetrics &metrics, int width,
                                   int maxLines)
{
    if (maxLines <= 0)
        return {};
    // Pieces end at a space (dropped) or after a "/" (kept); each piece
    // after the first rejoins its line with the space that went before it.
    QStringList pieces, gaps;
    QString piece;
    for (const QChar c : name + QLatin1Char(' ')) {
        if (c == QLatin1Char('/'))
            piece += c;
        if (c != QLatin1Char(' ') && c != QLatin1Char('/')) {
            piece += c;
        } else if (!piece.isEmpty()) {
            pieces << piece;
            gaps << (c == QLatin1Char(' ') ? QStringLiteral(" ") : QString());
            piece.clear();
        }
    }
    QStringList lines;
    for (int i = 0; i < pieces.size(); ++i) {
        const QString joined = i == 0 ? pieces[i] : lines.last() + gaps[i - 1] + pieces[i];
        // The last line allowed takes the rest, to be elided below.
        if (i > 0 && (lines.size() >= maxLines || metrics.horizontalAdvance(joined) <= width))
            lines.last() = joined;
        else
            lines << pieces[i];
    }
    for (QString &line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines;
}

void AddressGrid::layOutNames()
{
    const qreal largest = std::max(kMinNamePoints, font().pointSizeF() - 2);
    for (int a = 0; a < kCells; ++a) {
        QStringList &lines = m_nameLines[size_t(a)];
        lines.clear();
        const QString &name = m_names[size_t(a)];
        const QRect cell = cellRect(a).adjusted(1, 1, -1, -1);
        // The address and the name's lines in one font: the largest, down to
        // the smallest readable, that shows the whole name; else the
        // smallest, cut.
        for (qreal points = largest; !name.isEmpty() && points >= kMinNamePoints; points -= 1) {
            QFont nameFont = font();
            nameFont.setPointSizeF(points);
            const QFontMetrics metrics(nameFont);
            const int room = std::min(kNameLines, cell.height() / metrics.height() - 1);
            const QStringList laid = nameLines(name, metrics, cell.width(), room);
            if (laid.isEmpty())
                continue;
            lines = laid;
            m_namePointSize[size_t(a)] = points;
            if (!laid.join(QString()).contains(QChar(0x2026)))
                break;
        }
    }
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
    if (f.errorRows > 0)
        text += QStringLiteral("\n总线错误：%1 行").arg(f.errorRows);
    text += QStringLiteral("\n首次出现：%1\n最后出现：%2\n总线时钟：%3")
                .arg(timeText(f.firstSeenNs), timeText(f.lastSeenNs),
                     AddressMapDock::clockText(f.clockHz));
    if (f.clockHz > 0) // the middle eight tenths of its bytes
        text += QStringLiteral("\n时钟范围：%1（八成字节）")
                    .arg(AddressMapDock::clockRangeText(f.clockLowHz, f.clockHighHz));
    return text;
}

void AddressGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    for (int a = 0; a < kCells; ++a) {
        const AddressFigures &f = m_figures[size_t(a)];
        const QRect cell = cellRect(a).adjusted(1, 1, -1, -1);
        const QColor state = stateColour(f);
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
        p.setPen(f.seen() ? kLit : kUnseenText);
        const QString hex = QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')).toUpper();
        const QStringList &lines = m_nameLines[size_t(a)];
        if (lines.isEmpty()) {
            p.setFont(font());
            p.drawText(cell, Qt::AlignCenter, hex);
            continue;
        }
        // The address above its name lines, the block centred in the cell.
        QFont nameFont = font();
        nameFont.setPointSizeF(m_namePointSize[size_t(a)]);
        p.setFont(nameFont);
        const int lineHeight = QFontMetrics(nameFont).height();
        int y = cell.top() + (cell.height() - lineHeight * (lines.size() + 1)) / 2;
        for (const QString &line : QStringList(hex) + lines) {
            p.drawText(QRect(cell.left(), y, cell.width(), lineHeight), Qt::AlignCenter, line);
            y += lineHeight;
        }
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
