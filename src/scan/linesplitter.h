#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Cuts the scanner's output into lines. A carriage return or a line feed ends a line, and one
// line feed directly after an end of line is taken with it (so CR LF and LF LF end one line).
// The same lines come out however the output is cut into chunks, also between CR and LF.
class LineSplitter {
public:
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
            if (m_tail.isEmpty()) {
                onLine(QByteArrayView(data + lineStart, i - lineStart));
            } else {
                m_tail.append(data + lineStart, i - lineStart);
                onLine(QByteArrayView(m_tail));
                m_tail.clear();
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
            m_tail.append(data + lineStart, n - lineStart);
    }

    // The unterminated rest at the end of the output, handed over as a last line.
    template <typename OnLine>
    void finish(OnLine &&onLine) {
        if (!m_tail.isEmpty())
            onLine(QByteArrayView(m_tail));
        reset();
    }

    void reset() {
        m_tail.clear();
        m_skipLineFeed = false;
    }

    QByteArray pending() const { return m_tail; }

private:
    QByteArray m_tail;
    bool m_skipLineFeed = false;
};
