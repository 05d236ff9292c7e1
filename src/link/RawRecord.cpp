#include "RawRecord.h"

#include "LocalTime.h"

std::optional<qint64> RecordTime(const uint8_t *record)
{
    return LocalTimeFromFields({record[0] << 8 | record[1], record[2], record[3], record[4], record[5], record[6]});
}
