#include "HelpText.h"

#include "InstrumentClock.h"
#include "RegularFile.h"

#include <QFile>
#include <QStringDecoder>

namespace HelpText {

std::optional<QString> ReadHelpFile(const QString &path)
{
    QFile file(path);
    if (!RegularFile::OpenForReading(file))
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxBytes);
    // The decoder drops a leading byte-order mark and keeps an odd last byte (or a pair cut at the size
    // limit) back as unfinished input, which is never shown.
    QStringDecoder decoder(QStringConverter::Utf16LE);
    QString text = decoder.decode(bytes);
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    // Half a surrogate pair is no character; it shows as the replacement character.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QString BuiltInContactText()
{
    return QStringLiteral("[구입 및 A/S 안내]\n"
                          "\n"
                          "구입 문의 : 031-8033-5100\n"
                          "수리(A/S) 문의 : %1\n"
                          "상담 시간 : 평일 09:00 ~ 18:00 (점심시간 12:00 ~ 13:00, 주말 및 공휴일 휴무)\n"
                          "\n"
                          "보내실 곳 : (18469) 경기도 화성시 동탄산업로 123, 톤베일 서비스센터 2층\n"
                          "\n"
                          "[수리 의뢰 방법]\n"
                          "1. 택배 : 장비와 로드셀을 구입 시의 보관 케이스에 넣고 완충재로 감싼 뒤 위 주소로 "
                          "보내 주십시오.\n"
                          "   고장 증상, 담당자 성함, 연락처, 회신 받을 주소를 적은 메모를 함께 넣어 주십시오.\n"
                          "2. 화물 : 30톤 로드셀처럼 무거운 품목은 화물로 보내 주시되, 보내시기 전에 A/S 담당자에게 "
                          "전화로 알려 주십시오.\n"
                          "3. 직접 방문 : 방문 하루 전까지 전화로 예약하시면 현장에서 점검해 드립니다.\n"
                          "\n"
                          "수리를 마친 장비는 보내 주신 방법과 같은 방법으로 돌려 드립니다.")
        .arg(InstrumentClock::ServiceTelephone());
}

QString TextFor(const QString &helpFilePath)
{
    if (auto text = ReadHelpFile(helpFilePath))
        return *text;
    return BuiltInContactText();
}

} // namespace HelpText
