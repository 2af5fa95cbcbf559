#include "driver/WavSource.h"

WavSource::WavSource(std::string path) : m_path(std::move(path)) {}

bool WavSource::Open(std::string* error) {
    m_position = 0;
    return m_file.Load(m_path, error);
}

AudioSource::ReadResult WavSource::Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string*) {
    if (m_position >= m_file.DataBytes()) return ReadResult::End;
    if (!m_pacer.WaitNext(stop)) return ReadResult::Stopped;
    const OWAVEFORMATEX& f = m_file.Format();
    size_t bytes = static_cast<size_t>(f.nSamplesPerSec / 100 > 0 ? f.nSamplesPerSec / 100 : 1) * f.nBlockAlign;
    if (bytes > m_file.DataBytes() - m_position) bytes = m_file.DataBytes() - m_position;
    chunk->assign(m_file.Data() + m_position, m_file.Data() + m_position + bytes);
    m_position += bytes;
    return ReadResult::Data;
}
