#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace ombrix {

// JSON written as QJsonDocument writes it (an object's members in the order
// of their keys, four spaces an indent, or compact), straight from the
// values: a report of a thousand computers builds no tree of each.
class JsonWriter {
public:
    // A computer's entry takes a few kilobytes: one allocation, mostly.
    explicit JsonWriter(bool compact) : m_compact(compact) { m_out.reserve(8192); }

    // A value at `indent` (the indent of the member or element it is).
    using Value = std::function<void(int indent)>;
    struct Member {
        QString key;
        Value value;
    };

    // As UTF-8, escaped as Qt escapes it; a lone half of a surrogate pair is
    // written as U+FFFD, so the output is always valid UTF-8.
    void text(const QString& value);
    void number(qint64 value);
    void number(double value); // null when it is not finite
    void boolean(bool value);
    void null();
    void object(int indent, std::vector<Member> members);
    // Element i written by element(i, its indent).
    void array(int indent, std::size_t count, const std::function<void(std::size_t, int)>& element);
    void texts(int indent, const QStringList& values);
    void spaces(int indent);

    QByteArray& out() { return m_out; }

private:
    void between(bool last);

    bool m_compact;
    QByteArray m_out;
};

} // namespace ombrix
