// Playlist files as radio stations and players write them: decoding, the references .m3u and .pls list, and
// which of them become rows.

#include "fuzz/fuzz_check.h"
#include "player/playlist_import.h"

using namespace playlist_import;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    const QString text = DecodeText(bytes, data[0] & 1);
    const QStringList references = ListedReferences(text, data[0] & 2 ? ListFormat::Pls : ListFormat::M3u);
    QStringList addresses, trimmed;
    for (const QString& reference : references) {
        // An .m3u line keeps its blanks (a file name may begin or end with one), but is never blank alone.
        FUZZ_CHECK(!reference.trimmed().isEmpty());
        FUZZ_CHECK(!reference.contains('\n') && !reference.contains('\r'));
        // Only what names no local file: the file system is not the input here.
        const QString address = reference.trimmed();
        if (address.contains(QLatin1String("://")) && !address.startsWith(QLatin1String("file:"))) {
            addresses << reference;
            trimmed << address;
        }
    }
    const Batch batch = Collect(addresses);
    FUZZ_CHECK(batch.rows.size() + batch.skipped == addresses.size());
    // An address becomes a row without the blanks around it.
    for (const QString& row : batch.rows) FUZZ_CHECK(trimmed.contains(row));
    return 0;
}
