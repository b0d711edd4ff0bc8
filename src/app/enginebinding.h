#pragma once

#include <array>

#include <QString>

// The optional engine library "png_draw_2041.dll": loaded once at start-up and kept for the
// program's lifetime only when it exports all twelve entry points. Nothing calls them.
class EngineBinding {
public:
    static constexpr int entryCount = 12;
    static constexpr std::array<const char *, entryCount> entryNames = {
        "clam_scanbuff", "clam_scanfile",  "clam_scandesc", "clam_retflevel",
        "clam_retver",   "clam_strerror",  "clam_debug",    "clam_build",
        "clam_free",     "clam_loaddbdir", "clam_loaddb",   "clam_cvdverify"};
    static constexpr const char *libraryName = "png_draw_2041.dll";

    EngineBinding() = default;
    EngineBinding(const EngineBinding &) = delete;
    EngineBinding &operator=(const EngineBinding &) = delete;
    ~EngineBinding();

    // Tries the library in the program folder, then by bare name through the library search.
    bool bind(const QString &programFolder);

    bool isBound() const { return m_bound; }
    bool isLoaded() const { return m_handle != nullptr; }
    void *entry(int index) const { return m_entries[index]; }

private:
    void *m_handle = nullptr;
    bool m_bound = false;
    std::array<void *, entryCount> m_entries{};
};
