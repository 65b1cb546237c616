// The bus health panel: a dock listing each kind of finding the capture
// holds (count, severities, the worst measured value against its limit)
// with jumps to a kind's first, next and worst row, and the mode the timing
// is judged by (auto or chosen), which the next Start uses. It reads the
// pipeline's HealthLog on a timer of its own while shown.
#pragma once

#include "capture/healthfinding.h"

#include <QDockWidget>

#include <functional>

class HealthLog;
class QComboBox;
class QLabel;
class QMainWindow;
class QMenu;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

class HealthDock : public QDockWidget
{
    Q_OBJECT

public:
    enum class Jump { First, Next, Worst };
    enum Column { KindColumn, SeverityColumn, CountColumn, WorstColumn, LimitColumn, ColumnCount };

    // log outlives the dock.
    explicit HealthDock(const HealthLog &log, QWidget *parent = nullptr);

    // The window's part: a dock on the right of window, closed, and its
    // checkable show / hide action at the end of menu.
    static HealthDock *install(QMainWindow *window, QMenu *menu, const HealthLog &log);

    // Where "next" starts from (the record table's current line), and the
    // mode the running or last capture judges timing by (-1: none yet).
    void setCurrentLine(std::function<qint64()> currentLine)
    {
        m_currentLine = std::move(currentLine);
    }
    void setJudgedMode(std::function<int()> judgedMode) { m_judgedMode = std::move(judgedMode); }

    // The mode chosen for the next Start (KORVEX_HEALTH_MODE_*).
    int chosenMode() const;
    void setChosenMode(int mode);

    // The line a jump for kind leads to: its first, the next after the
    // current line (round to the first), its worst; -1 for none.
    qint64 jumpLine(HealthFinding::Kind kind, Jump jump) const;
    // Jumps for the kind of the table's current row (lineWanted tells).
    void jump(Jump jump);

    // The table from the log's summaries, now.
    void refresh();
    QTableWidget *table() const { return m_table; }
    QComboBox *modeBox() const { return m_mode; }
    QLineEdit *pecEdit() const { return m_pec; }
    QSpinBox *glitchFilterBox() const { return m_glitch; }
    QPushButton *jumpButton(Jump jump) const { return m_buttons[int(jump)]; }

signals:
    void lineWanted(qint64 line);
    void modeChosen(int mode);
    // The addresses whose transfers end with a PEC byte; the narrowest pulse
    // the glitch filter lets through (0: off). For the next Start, too.
    void pecAddressesChosen(const QVector<int> &addresses);
    void glitchFilterChosen(qint64 ns);

private:
    bool selectedKind(HealthFinding::Kind *kind) const;

    const HealthLog &m_log;
    std::function<qint64()> m_currentLine;
    std::function<int()> m_judgedMode;
    QComboBox *m_mode = nullptr;
    QLabel *m_modeNote = nullptr;
    QLineEdit *m_pec = nullptr;
    QSpinBox *m_glitch = nullptr;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
    QPushButton *m_buttons[3] = {};
};
