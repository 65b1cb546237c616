// The address map panel: a dock beside the record table with the address
// grid and, below it, a table of the figures of every address seen. It owns
// the AddressStats that the capture store feeds and refreshes from them on a
// timer of its own (a copy of 128 entries per tick).
#pragma once

#include "addressmap/addressfigures.h"
#include "addressmap/addressstats.h"
#include "protocol/symboldef.h"

#include <QDockWidget>

#include <array>
#include <memory>

class AddressGrid;
class CapturePipeline;
class ProfileRegistry;
class QMainWindow;
class QMenu;
class QTableWidget;
class SymbolLabeler;

class AddressMapDock : public QDockWidget
{
    Q_OBJECT

public:
    // Observes pipeline's store from now on (no capture may run yet). The
    // labeler's symbols in force name the addresses (the default symbol file
    // while none are); labeler may be null.
    AddressMapDock(CapturePipeline &pipeline, const SymbolLabeler *labeler,
                   QWidget *parent = nullptr);
    ~AddressMapDock() override;

    // The window's part: a dock on the right of window and its checkable
    // show / hide action at the end of menu.
    static AddressMapDock *install(QMainWindow *window, QMenu *menu, CapturePipeline &pipeline,
                                   const SymbolLabeler *labeler);

    const AddressStats &stats() const { return *m_stats; }
    AddressGrid *grid() const { return m_grid; }
    QTableWidget *table() const { return m_table; }
    // Grid (and table) from the current figures; the timer refreshes the
    // table on every few ticks only.
    void refresh(bool withTable = true);

    // The estimated clock as table and tooltip show it ("未知" while unknown).
    static QString clockText(qint64 hz);
    // The range most bytes were clocked in: "88.5–91.2 kHz", one value when
    // both ends read the same.
    static QString clockRangeText(qint64 lowHz, qint64 highHz);

    // The device profiles the cells' context menus choose from (not owned;
    // null: no menu).
    void setProfiles(ProfileRegistry *profiles);
    // A cell's context menu: the profiles that claim address (the one in
    // force checked), "无", back to automatic where chosen, and adding a
    // profile file; the files that failed to load, when any did.
    void fillProfileMenu(QMenu *menu, int address);

public slots:
    // Shows which address the record table is filtered to (-1: none).
    void setSelectedAddress(int address);

signals:
    // The user asked to filter the table to address / to drop that filter.
    void addressActivated(int address);
    void filterCleared();

private:
    void onAddressClicked(int address);
    void addProfileFile();
    void warnIfUnsaved(bool saved, const QString &why);
    void updateNames();
    void fillTable(const std::array<AddressFigures, AddressStats::kAddressCount> &figures);

    CapturePipeline &m_pipeline;
    const SymbolLabeler *m_labeler;
    ProfileRegistry *m_profiles = nullptr;
    std::unique_ptr<AddressStats> m_stats;
    AddressGrid *m_grid = nullptr;
    QTableWidget *m_table = nullptr;
    SymbolList m_fileSymbols;  // the default symbol file, read once
    SymbolList m_namedSymbols; // the symbols the names were taken from
    std::array<QString, AddressStats::kAddressCount> m_names; // "/"-joined per address
    int m_tick = 0;
    bool m_namesSet = false;
};
