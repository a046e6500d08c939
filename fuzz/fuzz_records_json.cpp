// The records kept on disk or given by the user (history entry, stored result, settings, design
// document): whatever decodes writes back without error and reads back as the same record.
#include "FuzzCheck.h"

#include "design/DesignDocument.h"
#include "engine/ModelJson.h"
#include "reports/StoredComparison.h"

namespace {

// decode(encode(decode(object))) encodes to the same bytes as decode(object).
template <typename Decode, typename Encode>
void checkRoundTrip(const QJsonObject &object, Decode decode, Encode encode)
{
    QByteArray written;
    try {
        written = vantrel::json::prettyBytes(encode(decode(object)));
    } catch (const vantrel::JsonDecodeError &) {
        return;
    }
    FUZZ_CHECK(vantrel::json::prettyBytes(encode(decode(vantrel::json::parseObject(written)))) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject object;
    try {
        object = vantrel::json::parseObject(fuzzBytes(data, size));
    } catch (const vantrel::JsonDecodeError &) {
        return 0;
    }
    using namespace vantrel;
    checkRoundTrip(object, json::historyEntryFromJson, [](const auto &v) { return json::toJson(v); });
    checkRoundTrip(object, StoredComparison::fromJson, [](const StoredComparison &v) { return v.toJson(); });
    checkRoundTrip(object, json::settingsFromJson, [](const auto &v) { return json::toJson(v); });
    checkRoundTrip(object, DesignDocument::fromJson,
                   [](const ImportedDesign &v) { return DesignDocument::toJson(v, QStringLiteral("design.png")); });
    return 0;
}
