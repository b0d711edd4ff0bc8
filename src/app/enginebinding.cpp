#include "app/enginebinding.h"

#include <QFile>

#include "platform/system.h"

EngineBinding::~EngineBinding() {
    platform::DynamicLibrary::close(m_handle);
}

bool EngineBinding::bind(const QString &programFolder) {
    if (m_bound || m_handle)
        return m_bound;
    m_handle = platform::DynamicLibrary::open(
        QFile::encodeName(programFolder + QString::fromLatin1(libraryName)));
    if (!m_handle)
        m_handle = platform::DynamicLibrary::open(QByteArray(libraryName));
    if (!m_handle)
        return false;
    bool result = true;
    for (int i = 0; i < entryCount; ++i) {
        m_entries[i] = platform::DynamicLibrary::symbol(m_handle, entryNames[i]);
        if (!m_entries[i])
            result = false;
    }
    m_bound = result;
    if (!result) {
        platform::DynamicLibrary::close(m_handle);
        m_handle = nullptr;
    }
    return m_bound;
}
