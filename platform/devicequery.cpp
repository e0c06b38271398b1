#include "platform/devicequery.h"

#include "platform/mmsyserr.h"

#include <array>
#include <mutex>

namespace zol::platform {

namespace {
std::mutex& QueryMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::array<std::shared_ptr<DeviceQuery>, kDeviceKinds>& Queries()
{
    static std::array<std::shared_ptr<DeviceQuery>, kDeviceKinds> queries;
    return queries;
}
}  // namespace

bool DeviceQuery::ErrorText(int code, QString& text)
{
    const char* s = MMSystemErrorText(code);
    if (s == nullptr || *s == 0)
        return false;
    text = QString::fromLatin1(s);
    return true;
}

int DeviceQuery::GetMixerId(int, int& mixerId)
{
    mixerId = -1;
    return MMSYSERR_NODRIVER;
}

std::shared_ptr<DeviceQuery> SetDeviceQuery(int kind, std::shared_ptr<DeviceQuery> query)
{
    if (kind < 0 || kind >= kDeviceKinds)
        return nullptr;
    std::lock_guard lock(QueryMutex());
    std::shared_ptr<DeviceQuery> old = std::move(Queries()[kind]);
    Queries()[kind] = std::move(query);
    return old;
}

std::shared_ptr<DeviceQuery> GetDeviceQuery(int kind)
{
    if (kind < 0 || kind >= kDeviceKinds)
        return nullptr;
    std::lock_guard lock(QueryMutex());
    return Queries()[kind];
}

}  // namespace zol::platform
