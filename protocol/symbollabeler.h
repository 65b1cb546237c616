// Labels stored rows with the names of matching protocol symbols while
// decoding is on. The GUI thread replaces the symbols in force; the storing
// thread labels rows. A replacement is published as an immutable snapshot,
// so a labelling pass always sees one whole list.
#pragma once

#include "capture/rowlabeler.h"
#include "protocol/symboldef.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class SymbolLabeler : public RowLabeler
{
public:
    SymbolLabeler();
    ~SymbolLabeler() override;
    SymbolLabeler(const SymbolLabeler &) = delete;
    SymbolLabeler &operator=(const SymbolLabeler &) = delete;

    // --- GUI thread ---
    // Puts symbols in force from the next labelled row on, and logs them.
    void setActiveSymbols(const SymbolList &symbols);
    // Replaces the symbols in force by those of a symbol file. Returns false,
    // changing nothing, when the file cannot be opened or is malformed
    // (errorString says why). Any thread: the symbols are published as a whole.
    bool loadActiveSymbols(const QString &path, QString *errorString = nullptr);
    bool loadActiveSymbols(QString *errorString = nullptr); // the default symbol file
    SymbolList activeSymbols() const;

    // --- storing thread ---
    // STOP rows drop every deferred label; then each matching symbol labels
    // the row at once (byte position 0) or the row that many rows later,
    // provided that row is an address or data row.
    void applySymbols(CaptureRow &row) override;
    // Deferred labels still to come: (name as shown, rows to go), oldest first.
    QVector<QPair<QString, int>> pendingLabels() const;

    // Per 7-bit address, the names of the symbols that label its address
    // rows at once (byte position 0), in list order without repeats: the
    // address map names its cells by them.
    static constexpr int kAddressCount = 128;
    static std::array<QStringList, kAddressCount> addressNames(const SymbolList &symbols);

    // " [name]" as appended to a row's data. Characters that would split the
    // stored line ("," between fields, line breaks and NULs between lines)
    // are replaced, so a labelled row still has seven fields on one line.
    static std::string labelText(const QString &name);

private:
    struct Index;
    struct Pending
    {
        uint64_t seq;      // order of entry into the deferred list
        std::string label; // owned: the snapshot it came from may be replaced
    };
    // Deferred labels due within this many rows sit in a ring of buckets,
    // later ones in the ordered map; byte positions are normally 1..99.
    static constexpr uint64_t kRingSize = 128;

    void addPending(uint64_t fireAt, const std::string &label);
    void firePending(CaptureRow &row, uint64_t now);
    void clearPending();

    // Written by the GUI thread, read by the storing thread. The snapshot is
    // only reached through std::atomic_load/atomic_store and never modified
    // after publication; the generation tells the storing thread cheaply
    // that a new one is there.
    std::shared_ptr<const Index> m_published;
    std::atomic<uint64_t> m_generation{0};

    // Storing thread only.
    std::shared_ptr<const Index> m_current;
    uint64_t m_currentGeneration = 0;
    uint64_t m_rowCounter = 0;
    uint64_t m_nextSeq = 0;
    size_t m_pendingCount = 0;
    std::array<std::vector<Pending>, kRingSize> m_ring;
    std::multimap<uint64_t, Pending> m_far; // fire row -> entries in order of entry
};
