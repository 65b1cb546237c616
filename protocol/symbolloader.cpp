#include "protocol/symbolloader.h"

#include "protocol/symbollabeler.h"

#include <QThread>

#include <memory>

SymbolLoader::SymbolLoader(SymbolLabeler &labeler, QObject *parent)
    : QObject(parent), m_labeler(labeler)
{
}

SymbolLoader::~SymbolLoader()
{
    if (m_thread)
        m_thread->wait();
}

void SymbolLoader::load()
{
    if (m_thread)
        return;
    // Written by the loading thread before it finishes, read here after its
    // finished signal: the thread's end orders the two.
    auto result = std::make_shared<std::pair<bool, QString>>();
    SymbolLabeler *labeler = &m_labeler;
    m_thread = QThread::create(
        [result, labeler] { result->first = labeler->loadActiveSymbols(&result->second); });
    m_thread->setParent(this);
    connect(m_thread, &QThread::finished, this, [this, result] {
        m_thread->deleteLater();
        m_thread = nullptr;
        emit loaded(result->first, result->second);
    });
    m_thread->start();
}
