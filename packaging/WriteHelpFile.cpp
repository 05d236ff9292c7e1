// Writes the built-in service notice as help.dat (UTF-16 little-endian with a byte-order mark, the form the
// help button reads), so that an installed program ships a notice the plant may edit.
#include "HelpText.h"

#include <QFile>
#include <QStringEncoder>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray bytes = encoder.encode(HelpText::BuiltInContactText());
    QFile file(QFile::decodeName(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
