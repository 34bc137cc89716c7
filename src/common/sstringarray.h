#pragma once

#include <QString>
#include <QStringList>

// A string array kept in ascending case-insensitive order; names that differ only in case are one entry.
class CXSStringArray
{
public:
    using const_iterator = QStringList::const_iterator;

    // Bisection: returns the index of an entry equal to text (ignoring case) and sets *found to true,
    // or returns the index where text would be inserted to keep the order and sets *found to false.
    qsizetype Find(const QString& text, bool* found = nullptr) const;
    bool Contains(const QString& text) const;
    // Inserts text at its sorted place unless an equal entry (ignoring case) is present. Returns the
    // index of the new entry, or -1 when it was present already.
    qsizetype InsertSorted(const QString& text);

    void RemoveAt(qsizetype index) { m_arrItems.removeAt(index); }
    void clear() { m_arrItems.clear(); }
    qsizetype size() const { return m_arrItems.size(); }
    bool isEmpty() const { return m_arrItems.isEmpty(); }
    const QString& at(qsizetype index) const { return m_arrItems.at(index); }
    const QString& operator[](qsizetype index) const { return m_arrItems.at(index); }
    const_iterator begin() const { return m_arrItems.cbegin(); }
    const_iterator end() const { return m_arrItems.cend(); }
    const QStringList& toStringList() const { return m_arrItems; }

    bool operator==(const CXSStringArray& other) const = default;

private:
    QStringList m_arrItems;
};
