#include "device/profiledecoration.h"

ProfileDecoration::ProfileDecoration(const DecodeCheckpoints *checkpoints)
    : m_checkpoints(checkpoints)
{
}

ProfileDecoration::ProfileDecoration(const ProfileAssignment &assignment)
    : m_profiles(DecodeCheckpoints::profilesOf(assignment))
{
    DecodeCheckpoints::setUp(*m_profiles, &m_decoder);
}

std::unique_ptr<TransactionDecoration> ProfileDecoration::clone() const
{
    auto copy = std::make_unique<ProfileDecoration>(m_checkpoints);
    if (!m_checkpoints) {
        copy->m_profiles = m_profiles;
        DecodeCheckpoints::setUp(*m_profiles, &copy->m_decoder);
    }
    return copy;
}

quint64 ProfileDecoration::version() const
{
    return m_checkpoints ? m_checkpoints->version() : 0;
}

qint64 ProfileDecoration::checkpoint(qint64 k) const
{
    return m_checkpoints ? m_checkpoints->checkpoint(k) : 0;
}

qint64 ProfileDecoration::restore(qint64 k)
{
    if (!m_checkpoints) {
        m_decoder.reset();
        return 0;
    }
    // Other profiles since the last restore: the checkpoints' ones now.
    std::shared_ptr<const DecodeCheckpoints::Profiles> profiles = m_checkpoints->profiles();
    if (profiles != m_profiles) {
        m_profiles = std::move(profiles);
        DecodeCheckpoints::setUp(*m_profiles, &m_decoder);
    }
    return m_checkpoints->restore(k, m_profiles, &m_decoder);
}

void ProfileDecoration::decodeNext(const Transaction &t, Output *out, bool details)
{
    if (!m_profiles) { // no checkpoints started yet: nothing decodes
        *out = Output();
        return;
    }
    m_decoder.decode(t, out, details);
}
