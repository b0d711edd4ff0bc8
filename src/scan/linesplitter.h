#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Cuts the scanner's output into lines. A carriage return or a line feed ends a line, and one
// line feed directly after an end of line is taken with it (so CR LF and LF LF end one line).
// The same lines come out however the output is cut into chunks, also between CR and LF.
// A line longer than maxLine keeps only its first maxLine bytes (the rest is counted), so
// output without line ends costs no more memory than one such line.
class LineSplitter {
public:
    // Well above the longest line clamscan prints (a path of PATH_MAX bytes and a verdict).
    static constexpr qsizetype maxLine = 8192;

    template <typename OnLine>
    void feed(QByteArrayView chunk, OnLine &&onLine) {
        qsizetype start = 0;
        if (m_skipLineFeed && !chunk.isEmpty()) {
            if (chunk[0] == '\n')
                start = 1;
            m_skipLineFeed = false;
        }
        const char *data = chunk.data();
        const qsizetype n = chunk.size();
        qsizetype lineStart = start;
        for (qsizetype i = start; i < n; ++i) {
            const char c = data[i];
            if (c != '\n' && c != '\r')
                continue;
            if (m_tail.isEmpty() && m_dropped == 0 && i - lineStart <= maxLine) {
                onLine(QByteArrayView(data + lineStart, i - lineStart));
            } else {
                keep(data + lineStart, i - lineStart);
                m_cut = m_dropped > 0;
                onLine(QByteArrayView(m_tail));
                m_cut = false;
                m_tail.resize(0);
                m_dropped = 0;
            }
            if (i + 1 < n) {
                if (data[i + 1] == '\n')
                    ++i;
            } else {
                m_skipLineFeed = true;
            }
            lineStart = i + 1;
        }
        if (lineStart < n)
            keep(data + lineStart, n - lineStart);
    }

    // The unterminated rest at the end of the output, handed over as a last line.
    template <typename OnLine>
    void finish(OnLine &&onLine) {
        if (!m_tail.isEmpty() || m_dropped > 0) {
            m_cut = m_dropped > 0;
            onLine(QByteArrayView(m_tail));
        }
        reset();
    }

    void reset() {
        m_tail = QByteArray();
        m_dropped = 0;
        m_cut = false;
        m_skipLineFeed = false;
    }

    QByteArray pending() const { return m_tail; }
    // While a line is handed over: true when it was longer than maxLine and is cut.
    bool lineCut() const { return m_cut; }

private:
    void keep(const char *data, qsizetype size) {
        const qsizetype room = maxLine - m_tail.size();
        const qsizetype taken = size < room ? size : room;
        if (taken > 0)
            m_tail.append(data, taken);
        m_dropped += size - taken;
    }

    QByteArray m_tail;
    qint64 m_dropped = 0;
    bool m_cut = false;
    bool m_skipLineFeed = false;
};
