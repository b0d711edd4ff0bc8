#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// What one step of a removal run is doing, kept in a small file in the vault folder from before
// its copy takes its name until the step is over. Start-up after a crash learns from it which
// copy the step made, where the file came from and under what hidden name the file lies while it
// is checked, also on a file system that keeps no extended attributes with the copy. A restore
// or a deletion from the vault leaves a note naming only the copy that is leaving: once no
// stored record names it, it goes.
struct RemovalNote {
    QByteArray copy;      // the copy's whole path in the vault folder
    QByteArray original;  // the whole path of the file being taken; empty for a copy leaving
    QByteArray threat;    // the threat name as the infection list holds it
    QByteArray aside;     // the hidden name the file is moved to within its folder (or empty)

    // The note files' names: the prefix, then a random part. They start as the program's
    // temporary files do, so that no copy ever takes such a name.
    static constexpr char namePrefix[] = ".vz-note-";
    static bool isNoteName(const QByteArray &name) { return name.startsWith(namePrefix); }
    // The start of the hidden name a file is moved to before it is deleted.
    static constexpr char asidePrefix[] = ".vz-gone-";

    // The bytes stored: a tag line, then the four fields, each ended by a zero byte (no path or
    // name holds one).
    QByteArray encode() const;
    // Nothing for bytes that are no note, or whose fields could send a rename elsewhere: the
    // copy and the original are absolute, the hidden name is a plain name of the program's own.
    static std::optional<RemovalNote> decode(const QByteArray &bytes);

    // A new note's path in the vault folder (which ends with '/'), random is drawn by the caller.
    static QByteArray newPath(const QByteArray &vaultFolder, quint64 random);
    // Writes the note, synced, to path (replacing what is there); an empty text on success.
    QString writeTo(const QByteArray &path) const;

    // What the user is told about a file put under a visible name because its own was taken.
    static QString keptText(const QByteArray &original, const QByteArray &kept);
};
