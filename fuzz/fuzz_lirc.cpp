// What a WinLIRC server sends, cut into reads anywhere: the line reader, the line splitter and the key table.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "remote/winlirc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    QStringList boxes;
    for (int box = 0; box <= 8; ++box) boxes << QString::fromStdString(input.ConsumeRandomLengthString(24));
    const std::string stream = input.ConsumeRemainingBytesAsString();

    // Cut at every byte, or in one piece: the same lines.
    LircLineReader whole, bytewise;
    const QList<QByteArray> lines = whole.Feed(QByteArrayView(stream.data(), qsizetype(stream.size())));
    QList<QByteArray> pieces;
    for (const char byte : stream) pieces += bytewise.Feed(QByteArrayView(&byte, 1));
    FUZZ_CHECK(pieces == lines);

    for (const QByteArray& line : lines) {
        FUZZ_CHECK(line.size() <= LircLineReader::MaxLineLength && !line.contains('\n'));
        const QString text = QString::fromUtf8(line);
        const LircFields fields = SplitLircLine(text);
        if (text.count(' ') >= 3)
            FUZZ_CHECK(fields.code + ' ' + fields.repeat + ' ' + fields.key + ' ' + fields.rest == text);
        int actions = 0;
        RunKeyTable(
            EventKey(fields), [&](int box) { return boxes.value(box); }, [] { return false; },
            [&](RemoteAction) { ++actions; });
        FUZZ_CHECK(actions <= 8);
    }
    return 0;
}
