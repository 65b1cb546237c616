// Reads the default symbol file into a labeler beside the GUI thread, so a
// large file never freezes the window when Decode is switched on. GUI thread.
#pragma once

#include <QObject>
#include <QString>

class QThread;
class SymbolLabeler;

class SymbolLoader : public QObject
{
    Q_OBJECT

public:
    // The labeler must outlive the loader.
    explicit SymbolLoader(SymbolLabeler &labeler, QObject *parent = nullptr);
    // Waits for a load under way: its thread must not outlive the loader.
    ~SymbolLoader() override;

    // Starts reading the default symbol file; a load under way is not
    // started again (its loaded() answers this call too).
    void load();

signals:
    // ok: the symbols are in force; otherwise why tells what was wrong with
    // the file and the labeler keeps its earlier symbols.
    void loaded(bool ok, const QString &why);

private:
    SymbolLabeler &m_labeler;
    QThread *m_thread = nullptr; // child while it runs
};
