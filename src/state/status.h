#pragma once

#include <QString>

// The outcome of an operation whose failure the user must be told about.
class [[nodiscard]] Status {
public:
    static Status success() { return Status(); }
    static Status failure(QString message) { return Status(std::move(message)); }

    bool ok() const { return m_message.isEmpty(); }
    explicit operator bool() const { return ok(); }
    QString message() const { return m_message; }

private:
    Status() = default;
    explicit Status(QString message) : m_message(std::move(message)) {
        if (m_message.isEmpty())
            m_message = QStringLiteral("Unknown error");
    }

    QString m_message;
};
