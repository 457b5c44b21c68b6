#include "player/playlist_model.h"

PlaylistModel::PlaylistModel(QObject* parent) : QAbstractListModel(parent) {}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

// A row shows its address as it is.
QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == AddressRole)
        return addresses_.at(index.row());
    return {};
}

void PlaylistModel::Append(const QStringList& addresses) {
    if (addresses.isEmpty()) return;
    beginInsertRows({}, Count(), Count() + int(addresses.size()) - 1);
    addresses_ += addresses;
    endInsertRows();
}

void PlaylistModel::Replace(const QStringList& addresses) {
    beginResetModel();
    addresses_ = addresses;
    endResetModel();
    SetCurrentRow(-1);
}

void PlaylistModel::SetCurrentRow(int row) {
    if (row < -1 || row >= Count()) row = -1;
    if (row == current_) return;
    current_ = row;
    emit currentRowChanged(row);
}
