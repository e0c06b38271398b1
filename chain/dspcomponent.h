// The sound chain: every element that carries audio is a TMMDSPComponent, a
// link of one doubly linked chain. Formats run down the chain; the state
// notifications (open, start, pause, restart, stop, reset, close) run from a
// sound component (a link that owns its format, such as the capture source)
// through the plain links of its segment; every filled buffer runs down the
// chain through BufferReady on the thread that delivered it.
#pragma once

#include "platform/waveformat.h"
#include "core/mmcomponent.h"
#include "platform/thread.h"

#include <QString>

#include <functional>
#include <vector>

namespace zol {

class TMMDSPComponent;
using TMMBufferEvent = std::function<void(QObject* sender, PWaveHdr lpWaveHdr)>;
using TMMBufferLoadEvent = std::function<void(QObject* sender, PWaveHdr lpWaveHdr, bool& moreBuffers)>;

class TMMCustomDSPComponent : public TMMNonVisualComponent {
public:
    using TMMNonVisualComponent::TMMNonVisualComponent;
};

class TMMDSPComponent : public TMMCustomDSPComponent {
public:
    explicit TMMDSPComponent(QObject* owner = nullptr);
    ~TMMDSPComponent() override;

    // --- links
    TMMDSPComponent* Input() const { return GetInput(); }
    TMMDSPComponent* Output() const { return GetOutput(); }
    virtual void SetInput(TMMDSPComponent* value);
    virtual TMMDSPComponent* GetInput() const { return input_; }
    virtual void SetOutput(TMMDSPComponent* value);
    virtual TMMDSPComponent* GetOutput() const { return output_; }
    QString InputPropName() const { return inputPropName_; }
    QString OutputPropName() const { return outputPropName_; }

    virtual void UpdateFormatFromLink();
    virtual void LinkChanged(TMMDSPComponent* sender, int side, const QString& propName);
    virtual void AttachInput(TMMDSPComponent* link, const QString& propName);
    virtual void AttachOutput(TMMDSPComponent* link, const QString& propName);
    virtual bool CanConnectInput(TMMDSPComponent* link);
    virtual bool CanConnectOutput(TMMDSPComponent* link);

    // The sides a link's class offers ("Input" / "Output" properties). A
    // capture source has no input side.
    virtual bool HasLinkProperty(const QString& name) const;
    // The value of a side property by name (none for an unknown name).
    TMMDSPComponent* LinkProperty(const QString& name) const;

    // --- format
    virtual void InputFormatChanged(const WAVEFORMATEX* format);
    virtual void SetWaveFormat(const WAVEFORMATEX* format);
    virtual const WAVEFORMATEX* GetWaveFormat() const { return format_.get(); }
    const WAVEFORMATEX* WaveFormat() const { return GetWaveFormat(); }

    // --- buffer size
    int BufferSize() const { return GetBufferSize(); }
    virtual int GetBufferSize() const;
    virtual void SetBufferSize(int size);
    int RealBufferSize() const { return realBufferSize_; }

    // --- state notifications
    virtual void NotifyOpen();
    virtual void NotifyClose();
    virtual void NotifyStart();
    virtual void NotifyPause();
    virtual void NotifyRestart();
    virtual void NotifyStop();
    virtual void NotifyReset();
    bool Opened() const { return opened_; }
    bool Started() const { return started_; }

    // --- buffers
    virtual void BufferReady(PWaveHdr lpWaveHdr);
    virtual void BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers);

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

    TMMBufferEvent OnBufferReady;
    TMMBufferLoadEvent OnBufferLoad;
    TMMBufferEvent OnBufferLoaded;

    // Every live link, in creation order.
    static std::vector<TMMDSPComponent*> Links();
    static int LinkCount();

    // A sound component owns its format and notifies its segment.
    virtual bool IsSoundComponent() const { return false; }

protected:
    int bufferSize_ = 2048;
    int realBufferSize_ = 0;
    bool opened_ = false;
    bool started_ = false;

private:
    void Broadcast(TMMDSPComponent* sender, int side, const QString& propName);

    TMMDSPComponent* input_ = nullptr;
    TMMDSPComponent* output_ = nullptr;
    WaveFormatPtr format_;
    QString inputPropName_;
    QString outputPropName_;
};

// A link that owns a format of its own (the capture source). Its state
// notifications reach the plain links of its segment: the links between it
// and the next sound component downstream.
class TMMCustomSoundComponent : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool IsSoundComponent() const override { return true; }

    void NotifyOpen() override { PropagateOpen(); }
    void NotifyClose() override { PropagateClose(); }
    void NotifyStart() override { PropagateStart(); }
    void NotifyPause() override { PropagatePause(); }
    void NotifyRestart() override { PropagateRestart(); }
    void NotifyStop() override { PropagateStop(); }
    void NotifyReset() override { PropagateReset(); }

protected:
    // The walks; each ends with this link's own base notification.
    void PropagateOpen();
    void PropagateClose();
    void PropagateStart();
    void PropagatePause();
    void PropagateRestart();
    void PropagateStop();
    void PropagateReset();

private:
    using Notify = void (TMMDSPComponent::*)();
    TMMDSPComponent* WalkStart();
    TMMDSPComponent* NextSoundComponent();
    void WalkDown(Notify notify);
    void WalkDownFromTop(Notify notify);
};

// A thread that runs (part of) a sound chain. Registered while it lives, so
// SyncCall knows that calls from it must go to the window thread.
class TMMDSPThread : public platform::TThread {
public:
    TMMDSPThread();
    ~TMMDSPThread() override;
    static bool IsDSPThread(std::thread::id id);
    static int Count();
};

// Runs `call` on the window thread when the caller is a registered DSP thread
// (waiting for it), else directly.
void SyncCall(const std::function<void()>& call);

}  // namespace zol
