#pragma once

#include <QString>
#include <QStringList>

// A string array kept in ascending case-insensitive order.
class CXSStringArray
{
public:
    using const_iterator = QStringList::const_iterator;

    // Bisection. Returns true and sets *index to an entry equal to text (ignoring case), or returns false
    // and sets *index to the place where text would be inserted to keep the order.
    bool Find(const QString& text, qsizetype* index = nullptr) const;
    bool Contains(const QString& text) const { return Find(text); }
    // Inserts text at the index Find gives, also when an equal entry exists (then next to it), and returns
    // that index. Callers that want each name once test Find or Contains first.
    qsizetype InsertSorted(const QString& text);

    // Appends text out of order, for many names gathered at once: SortFrom puts them in their places.
    void Append(const QString& text) { m_arrItems.append(text); }
    // Restores the order when the entries from index on were appended: they are sorted and merged with
    // those before, which must be in order. Equal entries keep their order.
    void SortFrom(qsizetype index);

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
