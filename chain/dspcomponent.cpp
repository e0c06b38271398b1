#include "chain/dspcomponent.h"

#include <algorithm>
#include <mutex>

namespace zol {

namespace {
// The link registry: changed on the window thread only.
std::vector<TMMDSPComponent*>& LinkRegistry()
{
    static std::vector<TMMDSPComponent*> links;
    return links;
}

// The DSP-thread registry: read from the threads themselves, so locked.
// Both live until exit: a thread that frees itself may still deregister
// while the program's statics are being destroyed.
std::mutex& ThreadRegistryMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::vector<TMMDSPThread*>& ThreadRegistry()
{
    static auto* threads = new std::vector<TMMDSPThread*>;
    return *threads;
}

const QString kInput = QStringLiteral("Input");
const QString kOutput = QStringLiteral("Output");
constexpr int kMaxPropName = 20;
}  // namespace

TMMDSPComponent::TMMDSPComponent(QObject* owner) : TMMCustomDSPComponent(owner)
{
    LinkRegistry().push_back(this);
}

TMMDSPComponent::~TMMDSPComponent()
{
    Destroying();
    SetInput(nullptr);
    SetOutput(nullptr);
    format_.reset();
    auto& links = LinkRegistry();
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
}

std::vector<TMMDSPComponent*> TMMDSPComponent::Links()
{
    return LinkRegistry();
}

int TMMDSPComponent::LinkCount()
{
    return static_cast<int>(LinkRegistry().size());
}

bool TMMDSPComponent::HasLinkProperty(const QString& name) const
{
    return name == kInput || name == kOutput;
}

TMMDSPComponent* TMMDSPComponent::LinkProperty(const QString& name) const
{
    if (!HasLinkProperty(name))
        return nullptr;
    return name == kInput ? GetInput() : GetOutput();
}

void TMMDSPComponent::Broadcast(TMMDSPComponent* sender, int side, const QString& propName)
{
    // A link told here may not remove links; copy the list all the same.
    const auto links = LinkRegistry();
    for (TMMDSPComponent* link : links)
        link->LinkChanged(sender, side, propName);
}

void TMMDSPComponent::SetInput(TMMDSPComponent* value)
{
    // A link without an input side (a capture source) cannot be fed.
    if (!HasLinkProperty(kInput))
        return;
    if (value == input_ || (value != nullptr && !CanConnectInput(value)))
        return;
    NotifyStop();
    if (input_ != nullptr) {
        Broadcast(this, 0, kInput);
        AttachInput(nullptr, QString());
        InputFormatChanged(nullptr);
    }
    if (value == nullptr)
        return;
    Broadcast(value, 1, kOutput);
    AttachInput(value, kOutput);
    value->AttachOutput(this, kInput);
    UpdateFormatFromLink();
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* value)
{
    if (!HasLinkProperty(kOutput))
        return;
    if (value == output_ || (value != nullptr && !CanConnectOutput(value)))
        return;
    NotifyStop();
    if (output_ != nullptr) {
        TMMDSPComponent* old = output_;
        Broadcast(this, 1, kOutput);
        old->InputFormatChanged(nullptr);
        AttachOutput(nullptr, QString());
    }
    if (value == nullptr)
        return;
    Broadcast(value, 0, kInput);
    AttachOutput(value, kInput);
    value->AttachInput(this, kOutput);
    UpdateFormatFromLink();
}

void TMMDSPComponent::LinkChanged(TMMDSPComponent* sender, int side, const QString& propName)
{
    if (sender == nullptr || !sender->HasLinkProperty(propName) || sender->LinkProperty(propName) != this)
        return;
    if (side == 1) {
        if (sender == input_ && inputPropName_ == propName)
            AttachInput(nullptr, QString());
    } else {
        if (sender == output_ && outputPropName_ == propName)
            AttachOutput(nullptr, QString());
    }
}

void TMMDSPComponent::AttachInput(TMMDSPComponent* link, const QString& propName)
{
    if (input_ != nullptr && input_ != link && input_ != output_)
        RemoveFreeNotification(input_);
    input_ = link;
    inputPropName_ = propName.left(kMaxPropName);
    if (link != nullptr)
        FreeNotification(link);
}

void TMMDSPComponent::AttachOutput(TMMDSPComponent* link, const QString& propName)
{
    if (output_ != nullptr && output_ != link && output_ != input_)
        RemoveFreeNotification(output_);
    output_ = link;
    outputPropName_ = propName.left(kMaxPropName);
    if (link != nullptr)
        FreeNotification(link);
}

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent* link)
{
    if (link == nullptr || link == this || !link->HasLinkProperty(kOutput))
        return false;
    return output_ == nullptr ? true : output_->CanConnectInput(link);
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent* link)
{
    if (link == nullptr || link == this || !link->HasLinkProperty(kInput))
        return false;
    return input_ == nullptr ? true : input_->CanConnectOutput(link);
}

void TMMDSPComponent::UpdateFormatFromLink()
{
    if (ComponentState() & (csLoading | csReading | csDestroying))
        return;
    if (input_ != nullptr)
        InputFormatChanged(input_->GetWaveFormat());
    else if (output_ != nullptr)
        output_->InputFormatChanged(GetWaveFormat());
}

void TMMDSPComponent::InputFormatChanged(const WAVEFORMATEX* format)
{
    SetWaveFormat(format);
}

void TMMDSPComponent::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (format != format_.get()) {
        if (started_)
            NotifyStop();
        // Copy before freeing: the new record may live inside the old one's
        // owner chain.
        WaveFormatPtr copy = CopyWaveFormat(format);
        format_ = std::move(copy);
    }
    if (ComponentState() & (csLoading | csReading | csDestroying))
        return;
    if (output_ != nullptr)
        output_->InputFormatChanged(GetWaveFormat());
}

int TMMDSPComponent::GetBufferSize() const
{
    return opened_ ? realBufferSize_ : bufferSize_;
}

void TMMDSPComponent::SetBufferSize(int size)
{
    if (size == bufferSize_)
        return;
    if (started_)
        NotifyStop();
    bufferSize_ = size;
}

void TMMDSPComponent::NotifyOpen()
{
    if (opened_)
        return;
    const WAVEFORMATEX* format = GetWaveFormat();
    if (format != nullptr && format->nBlockAlign > 0) {
        const int block = format->nBlockAlign;
        realBufferSize_ = std::max(bufferSize_ - bufferSize_ % block, block);
    } else {
        realBufferSize_ = bufferSize_;
    }
    opened_ = true;
}

void TMMDSPComponent::NotifyClose()
{
    opened_ = false;
}

void TMMDSPComponent::NotifyStart()
{
    if (opened_ && !started_)
        started_ = true;
}

void TMMDSPComponent::NotifyPause() {}
void TMMDSPComponent::NotifyRestart() {}

void TMMDSPComponent::NotifyStop()
{
    started_ = false;
}

void TMMDSPComponent::NotifyReset() {}

void TMMDSPComponent::BufferReady(PWaveHdr lpWaveHdr)
{
    if (OnBufferReady)
        OnBufferReady(this, lpWaveHdr);
    if (output_ != nullptr)
        output_->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers)
{
    if (OnBufferLoad)
        OnBufferLoad(this, lpWaveHdr, moreBuffers);
    if (input_ != nullptr)
        input_->BufferLoad(lpWaveHdr, moreBuffers);
    if (lpWaveHdr != nullptr && lpWaveHdr->dwBytesRecorded != 0 && OnBufferLoaded)
        OnBufferLoaded(this, lpWaveHdr);
}

void TMMDSPComponent::Loaded()
{
    TMMCustomDSPComponent::Loaded();
    SetWaveFormat(GetWaveFormat());
}

void TMMDSPComponent::Notification(QObject* component, TOperation operation)
{
    TMMCustomDSPComponent::Notification(component, operation);
    if (operation != opRemove)
        return;
    if (component == input_)
        SetInput(nullptr);
    if (component == output_)
        SetOutput(nullptr);
}

// ---------------------------------------------------------------------------
// TMMCustomSoundComponent

TMMDSPComponent* TMMCustomSoundComponent::WalkStart()
{
    TMMDSPComponent* top = this;
    for (TMMDSPComponent* link = Input(); link != nullptr; link = link->Input()) {
        if (link->IsSoundComponent())
            return this;
        top = link;
    }
    return top;
}

TMMDSPComponent* TMMCustomSoundComponent::NextSoundComponent()
{
    for (TMMDSPComponent* link = Output(); link != nullptr; link = link->Output())
        if (link->IsSoundComponent())
            return link;
    return nullptr;
}

void TMMCustomSoundComponent::WalkDown(Notify notify)
{
    for (TMMDSPComponent* link = WalkStart(); link != nullptr;) {
        TMMDSPComponent* next = link->Output();
        if (link != this) {
            (link->*notify)();
            if (link->IsSoundComponent())
                break;
        }
        link = next;
    }
}

void TMMCustomSoundComponent::WalkDownFromTop(Notify notify)
{
    // Stop and close: segments further down first, then this segment's plain
    // links top-down; the next sound component is not told again.
    if (TMMDSPComponent* next = NextSoundComponent())
        (next->*notify)();
    for (TMMDSPComponent* link = WalkStart(); link != nullptr;) {
        TMMDSPComponent* after = link->Output();
        if (link != this) {
            if (link->IsSoundComponent())
                break;
            (link->*notify)();
        }
        link = after;
    }
}

void TMMCustomSoundComponent::PropagateOpen()
{
    const int size = GetBufferSize();
    for (TMMDSPComponent* link = WalkStart(); link != nullptr;) {
        TMMDSPComponent* next = link->Output();
        if (link != this) {
            link->SetBufferSize(size);
            link->NotifyOpen();
            if (link->IsSoundComponent())
                break;
        }
        link = next;
    }
    TMMDSPComponent::NotifyOpen();
}

void TMMCustomSoundComponent::PropagateClose()
{
    WalkDownFromTop(&TMMDSPComponent::NotifyClose);
    TMMDSPComponent::NotifyClose();
}

void TMMCustomSoundComponent::PropagateStart()
{
    WalkDown(&TMMDSPComponent::NotifyStart);
    TMMDSPComponent::NotifyStart();
}

void TMMCustomSoundComponent::PropagatePause()
{
    WalkDown(&TMMDSPComponent::NotifyPause);
    TMMDSPComponent::NotifyPause();
}

void TMMCustomSoundComponent::PropagateRestart()
{
    WalkDown(&TMMDSPComponent::NotifyRestart);
    TMMDSPComponent::NotifyRestart();
}

void TMMCustomSoundComponent::PropagateStop()
{
    WalkDownFromTop(&TMMDSPComponent::NotifyStop);
    TMMDSPComponent::NotifyStop();
}

void TMMCustomSoundComponent::PropagateReset()
{
    WalkDown(&TMMDSPComponent::NotifyReset);
    TMMDSPComponent::NotifyReset();
}

// ---------------------------------------------------------------------------
// DSP threads

TMMDSPThread::TMMDSPThread() : platform::TThread(true)
{
    std::lock_guard lock(ThreadRegistryMutex());
    ThreadRegistry().push_back(this);
}

TMMDSPThread::~TMMDSPThread()
{
    std::lock_guard lock(ThreadRegistryMutex());
    auto& threads = ThreadRegistry();
    threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
}

bool TMMDSPThread::IsDSPThread(std::thread::id id)
{
    std::lock_guard lock(ThreadRegistryMutex());
    for (TMMDSPThread* thread : ThreadRegistry())
        if (thread->ThreadId() == id)
            return true;
    return false;
}

int TMMDSPThread::Count()
{
    std::lock_guard lock(ThreadRegistryMutex());
    return static_cast<int>(ThreadRegistry().size());
}

void SyncCall(const std::function<void()>& call)
{
    if (!platform::IsWindowThread() && TMMDSPThread::IsDSPThread(std::this_thread::get_id()))
        platform::RunOnWindowThread(call);
    else
        call();
}

}  // namespace zol
