#pragma once
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

namespace ombrix {

// The last values of one counter, oldest first; a missing value is a gap.
class CounterHistory {
public:
    explicit CounterHistory(std::size_t capacity = 100) : m_values(capacity > 0 ? capacity : 1) {}

    void push(std::optional<double> value) {
        m_values[m_next] = value ? *value : std::numeric_limits<double>::quiet_NaN();
        m_next = (m_next + 1) % m_values.size();
        if (m_size < m_values.size())
            ++m_size;
    }
    std::size_t capacity() const { return m_values.size(); }
    std::size_t size() const { return m_size; }
    // i = 0 is the oldest kept value; NaN marks a gap.
    double at(std::size_t i) const {
        return m_values[(m_next + m_values.size() - m_size + i) % m_values.size()];
    }
    std::optional<double> last() const {
        if (m_size == 0 || std::isnan(at(m_size - 1)))
            return std::nullopt;
        return at(m_size - 1);
    }

    struct Statistics {
        double average = 0, minimum = 0, maximum = 0;
    };
    // Over the values present; nullopt while there are none.
    std::optional<Statistics> statistics() const {
        Statistics s{0, std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
        std::size_t count = 0;
        for (std::size_t i = 0; i < m_size; ++i) {
            const double v = at(i);
            if (std::isnan(v))
                continue;
            ++count;
            s.average += v;
            s.minimum = v < s.minimum ? v : s.minimum;
            s.maximum = v > s.maximum ? v : s.maximum;
        }
        if (count == 0)
            return std::nullopt;
        s.average /= static_cast<double>(count);
        return s;
    }

private:
    std::vector<double> m_values;
    std::size_t m_next = 0;
    std::size_t m_size = 0;
};

} // namespace ombrix
