#include "common/sstringarray.h"

#include "common/textcompare.h"

qsizetype CXSStringArray::Find(const QString& text, bool* found) const
{
    qsizetype low = 0;
    qsizetype high = m_arrItems.size();
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        const int c = CompareNoCase(m_arrItems.at(mid), text);
        if (c == 0) {
            if (found)
                *found = true;
            return mid;
        }
        if (c < 0)
            low = mid + 1;
        else
            high = mid;
    }
    if (found)
        *found = false;
    return low;
}

bool CXSStringArray::Contains(const QString& text) const
{
    bool found = false;
    Find(text, &found);
    return found;
}

qsizetype CXSStringArray::InsertSorted(const QString& text)
{
    bool found = false;
    const qsizetype index = Find(text, &found);
    if (found)
        return -1;
    m_arrItems.insert(index, text);
    return index;
}
