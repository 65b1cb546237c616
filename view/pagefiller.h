// Fills the page-sized table model with stored lines: one positioned read of
// the page's bytes, then texts and colours written into items that persist
// from tick to tick.
#pragma once

#include <QByteArray>

class CapturePipeline;
class CaptureStore;
class QStandardItemModel;

class PageFiller
{
public:
    // Shows lines first .. first+count-1 (clamped to the stored lines) in
    // model, holding the pipeline's store while it reads. Returns false, and
    // changes nothing, when the store is busy: the next tick tries again.
    // GUI thread.
    bool fillPage(QStandardItemModel &model, CapturePipeline &pipeline, int first, int count);

    // The same with the store already held by the caller (or no capture
    // running).
    void fillPageHeld(QStandardItemModel &model, const CaptureStore &store, int first, int count);

private:
    void fillRow(QStandardItemModel &model, int row, const char *line, int size);

    QByteArray m_buffer; // the page's bytes, kept to avoid an allocation per tick
};
