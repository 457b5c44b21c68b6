#pragma once

// The playlist: its rows, each an address (a URL or a local file's row) and the text the list shows for it,
// and the current row, the one the user sees selected (-1 when none is). Next and previous step from the
// current row; a row opened for playing becomes current.

#include <QAbstractListModel>
#include <QStringList>

class PlaylistModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaylistModel)

public:
    // The address of a row; the shown text is Qt::DisplayRole.
    static constexpr int AddressRole = Qt::UserRole;

    explicit PlaylistModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int Count() const { return int(addresses_.size()); }
    QString Address(int row) const { return addresses_.at(row); }
    QStringList Addresses() const { return addresses_; }

    // Appends rows after the existing ones; the current row stays.
    void Append(const QStringList& addresses);
    // Replaces every row; no row is current afterwards.
    void Replace(const QStringList& addresses);
    void Clear() { Replace({}); }

    int CurrentRow() const { return current_; }
    // Makes `row` current (-1: none); a row out of range makes none current.
    void SetCurrentRow(int row);

signals:
    void currentRowChanged(int row);

private:
    QStringList addresses_;
    int current_ = -1;
};
