#include "common/sstringarray.h"

#include "common/textcompare.h"

#include <algorithm>

bool CXSStringArray::Find(const QString& text, qsizetype* index) const
{
    qsizetype lo = 0;
    qsizetype hi = m_arrItems.size() - 1;
    while (hi >= lo) {
        const qsizetype mid = lo + (hi - lo) / 2;
        const int c = CompareNoCase(m_arrItems.at(mid), text);
        if (c < 0) {
            lo = mid + 1;
        } else if (c == 0) {
            if (index)
                *index = mid;
            return true;
        } else {
            hi = mid - 1;
        }
    }
    if (index)
        *index = lo;
    return false;
}

qsizetype CXSStringArray::InsertSorted(const QString& text)
{
    qsizetype index = 0;
    Find(text, &index);
    m_arrItems.insert(index, text);
    return index;
}

void CXSStringArray::SortFrom(qsizetype index)
{
    if (index >= m_arrItems.size())
        return;
    const auto less = [](const QString& a, const QString& b) { return CompareNoCase(a, b) < 0; };
    std::stable_sort(m_arrItems.begin() + index, m_arrItems.end(), less);
    if (index > 0)
        std::inplace_merge(m_arrItems.begin(), m_arrItems.begin() + index, m_arrItems.end(), less);
}
