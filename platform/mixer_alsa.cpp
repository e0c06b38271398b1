#include "platform/mixer_alsa.h"

#include "platform/alsa_quiet.h"

#include "platform/mmsyserr.h"
#include "platform/window_thread.h"

#include <QRegularExpression>
#include <QSocketNotifier>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace zol::platform {

namespace {

constexpr int kDestLineId = 0;
constexpr int kMicLineId = 0x10000;
constexpr int kVolume = 1;
constexpr int kMute = 2;

int AlsaCode(int err)
{
    return kMMBackendBase + (err < 0 ? -err : err);
}

// The ways one element is read and written: through its capture side, or,
// for an element with a common volume/switch, through the playback side.
struct ElemAccess {
    snd_mixer_elem_t* elem = nullptr;
    bool playbackVolume = false;
    bool hasSwitch = false;
    bool playbackSwitch = false;
    int channels = 1;
    bool volumeJoined = true;
    bool switchJoined = true;
    long min = 0;
    long max = 0;
};

bool HasGainVolume(snd_mixer_elem_t* e)
{
    return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_common_volume(e);
}

ElemAccess Access(snd_mixer_elem_t* e)
{
    ElemAccess a;
    a.elem = e;
    if (e == nullptr)
        return a;
    a.playbackVolume = !snd_mixer_selem_has_capture_volume(e);
    if (a.playbackVolume) {
        a.channels = snd_mixer_selem_is_playback_mono(e) ? 1
                     : snd_mixer_selem_has_playback_channel(e, SND_MIXER_SCHN_FRONT_RIGHT) ? 2
                                                                                            : 1;
        a.volumeJoined = snd_mixer_selem_has_playback_volume_joined(e);
        snd_mixer_selem_get_playback_volume_range(e, &a.min, &a.max);
    } else {
        a.channels = snd_mixer_selem_is_capture_mono(e) ? 1
                     : snd_mixer_selem_has_capture_channel(e, SND_MIXER_SCHN_FRONT_RIGHT) ? 2
                                                                                           : 1;
        a.volumeJoined = snd_mixer_selem_has_capture_volume_joined(e);
        snd_mixer_selem_get_capture_volume_range(e, &a.min, &a.max);
    }
    if (snd_mixer_selem_has_capture_switch(e)) {
        a.hasSwitch = true;
        a.switchJoined = snd_mixer_selem_has_capture_switch_joined(e);
    } else if (snd_mixer_selem_has_common_switch(e)) {
        a.hasSwitch = true;
        a.playbackSwitch = true;
        a.switchJoined = snd_mixer_selem_has_playback_switch_joined(e);
    }
    return a;
}

snd_mixer_elem_t* FindElem(snd_mixer_t* mixer, const QString& name)
{
    const QByteArray wanted = name.toUtf8();
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) {
        if (!snd_mixer_selem_is_active(e))
            continue;
        if (std::strcmp(snd_mixer_selem_get_name(e), wanted.constData()) == 0 && HasGainVolume(e))
            return e;
    }
    return nullptr;
}

int OpenMixer(const QString& name, snd_mixer_t*& out)
{
    out = nullptr;
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err < 0)
        return err;
    const QByteArray n = name.toUtf8();
    err = snd_mixer_attach(mixer, n.constData());
    if (err >= 0)
        err = snd_mixer_selem_register(mixer, nullptr, nullptr);
    if (err >= 0)
        err = snd_mixer_load(mixer);
    if (err < 0) {
        snd_mixer_close(mixer);
        return err;
    }
    // Handling events must never block when nothing is pending.
    snd_hctl_t* hctl = nullptr;
    if (snd_mixer_get_hctl(mixer, n.constData(), &hctl) >= 0 && hctl)
        snd_ctl_nonblock(snd_hctl_ctl(hctl), 1);
    out = mixer;
    return 0;
}

QString CardName(const QString& ctlName)
{
    snd_ctl_t* ctl = nullptr;
    QString result = ctlName;
    if (snd_ctl_open(&ctl, ctlName.toUtf8().constData(), SND_CTL_NONBLOCK) < 0)
        return result;
    snd_ctl_card_info_t* info = nullptr;
    if (snd_ctl_card_info_malloc(&info) >= 0) {
        if (snd_ctl_card_info(ctl, info) >= 0) {
            const char* name = snd_ctl_card_info_get_name(info);
            if (name && *name)
                result = QString::fromUtf8(name);
        }
        snd_ctl_card_info_free(info);
    }
    snd_ctl_close(ctl);
    return result;
}

const QStringList& MicNames()
{
    static const QStringList names = {QStringLiteral("Mic"), QStringLiteral("Internal Mic"),
                                      QStringLiteral("Front Mic"), QStringLiteral("Rear Mic"),
                                      QStringLiteral("Mic Boost")};
    return names;
}

int ReadVolume(const ElemAccess& a, int channel, long& value)
{
    const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
    value = a.min;
    return a.playbackVolume ? snd_mixer_selem_get_playback_volume(a.elem, ch, &value)
                            : snd_mixer_selem_get_capture_volume(a.elem, ch, &value);
}

int WriteVolume(const ElemAccess& a, int channel, long value)
{
    value = std::clamp(value, a.min, a.max);
    if (channel < 0)
        return a.playbackVolume ? snd_mixer_selem_set_playback_volume_all(a.elem, value)
                                : snd_mixer_selem_set_capture_volume_all(a.elem, value);
    const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
    return a.playbackVolume ? snd_mixer_selem_set_playback_volume(a.elem, ch, value)
                            : snd_mixer_selem_set_capture_volume(a.elem, ch, value);
}

int ReadSwitch(const ElemAccess& a, int channel, int& on)
{
    const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
    on = 1;
    return a.playbackSwitch ? snd_mixer_selem_get_playback_switch(a.elem, ch, &on)
                            : snd_mixer_selem_get_capture_switch(a.elem, ch, &on);
}

int WriteSwitch(const ElemAccess& a, int channel, int on)
{
    if (channel < 0)
        return a.playbackSwitch ? snd_mixer_selem_set_playback_switch_all(a.elem, on)
                                : snd_mixer_selem_set_capture_switch_all(a.elem, on);
    const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
    return a.playbackSwitch ? snd_mixer_selem_set_playback_switch(a.elem, ch, on)
                            : snd_mixer_selem_set_capture_switch(a.elem, ch, on);
}

}  // namespace

struct AlsaMixerBackend::Device {
    QString ctl;
    QString card;
    snd_mixer_t* mixer = nullptr;
    QString captureName;  // "Capture" when the card has it
    QString micName;      // the element serving the microphone line
    ~Device()
    {
        if (mixer)
            snd_mixer_close(mixer);
    }
    // Fetches changes made elsewhere before values are read.
    void Refresh()
    {
        if (mixer)
            snd_mixer_handle_events(mixer);
    }
    ElemAccess CaptureAccess() const
    {
        return Access(captureName.isEmpty() ? nullptr : FindElem(mixer, captureName));
    }
    ElemAccess MicAccess() const { return Access(micName.isEmpty() ? nullptr : FindElem(mixer, micName)); }
    bool HasDest() const { return !captureName.isEmpty() || !micName.isEmpty(); }
    ElemAccess LineAccess(int lineId) const
    {
        return lineId == kMicLineId ? MicAccess() : CaptureAccess();
    }
};

// An open device: its own mixer, whose element callbacks turn changes into
// notices, watched on the window thread.
struct AlsaMixerBackend::Watch {
    int device = 0;
    snd_mixer_t* mixer = nullptr;
    MixerNotify notify;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    struct ElemInfo {
        Watch* watch;
        std::vector<int> lineIds;
    };
    std::vector<std::unique_ptr<ElemInfo>> infos;
    std::vector<std::pair<int, int>> pending;
    bool handling = false;
    bool delivering = false;

    ~Watch()
    {
        notifiers.clear();
        if (mixer)
            snd_mixer_close(mixer);
    }

    static int Callback(snd_mixer_elem_t* elem, unsigned int mask)
    {
        auto* info = static_cast<ElemInfo*>(snd_mixer_elem_get_callback_private(elem));
        if (info == nullptr)
            return 0;
        for (int lineId : info->lineIds) {
            if (mask == SND_CTL_EVENT_MASK_REMOVE || (mask & SND_CTL_EVENT_MASK_INFO)) {
                info->watch->pending.emplace_back(MM_MIXM_LINE_CHANGE, lineId);
            } else if (mask & SND_CTL_EVENT_MASK_VALUE) {
                const int base = lineId == kMicLineId ? 16 : 0;
                info->watch->pending.emplace_back(MM_MIXM_CONTROL_CHANGE, base + kVolume);
                info->watch->pending.emplace_back(MM_MIXM_CONTROL_CHANGE, base + kMute);
            }
        }
        if (mask == SND_CTL_EVENT_MASK_REMOVE)
            snd_mixer_elem_set_callback(elem, nullptr);
        return 0;
    }

    void Handle()
    {
        if (handling || mixer == nullptr)
            return;
        handling = true;
        const int count = snd_mixer_poll_descriptors_count(mixer);
        if (count > 0) {
            std::vector<pollfd> fds(count);
            snd_mixer_poll_descriptors(mixer, fds.data(), count);
            for (auto& fd : fds)
                fd.revents = fd.events;
            unsigned short revents = 0;
            snd_mixer_poll_descriptors_revents(mixer, fds.data(), count, &revents);
        }
        snd_mixer_handle_events(mixer);
        handling = false;
        // Delivered after the library is done, so a receiver may close us.
        auto notices = std::move(pending);
        pending.clear();
        std::vector<std::pair<int, int>> unique;
        for (const auto& n : notices)
            if (std::find(unique.begin(), unique.end(), n) == unique.end())
                unique.push_back(n);
        delivering = true;
        for (const auto& [msg, id] : unique)
            if (notify)
                notify(msg, id);
        delivering = false;
    }
};

AlsaMixerBackend::AlsaMixerBackend(const QString& mixerName) : mixerName_(mixerName)
{
    SilenceAlsaLibraryMessages();
}

AlsaMixerBackend::~AlsaMixerBackend()
{
    RemovePostedMessages(this);
    watches_.clear();
    zombies_.clear();
    devices_.clear();
}

void AlsaMixerBackend::Probe()
{
    if (probed_)
        return;
    probed_ = true;
    QString ctl = mixerName_;
    snd_mixer_t* mixer = nullptr;
    // "NAME:ELEMENT" is first tried as a device name (the library's own
    // complaints stay off standard error).
    int err = OpenMixer(ctl, mixer);
    const int colon = ctl.lastIndexOf(QLatin1Char(':'));
    const QString suffix = colon > 0 ? ctl.mid(colon + 1) : QString();
    // "NAME:ELEMENT": the last part names the microphone element. A card
    // number or an argument list ("hw:1", "hw:CARD=x,DEV=0") is never one,
    // so a missing card is not mistaken for another card's element.
    static const QRegularExpression deviceArgs(QStringLiteral("^[0-9]+$|[=,]"));
    if (err < 0 && !suffix.isEmpty() && !deviceArgs.match(suffix).hasMatch()) {
        element_ = suffix;
        ctl = ctl.left(colon);
        err = OpenMixer(ctl, mixer);
    }
    auto add = [this](const QString& name, snd_mixer_t* m) {
        auto dev = std::make_unique<Device>();
        dev->ctl = name;
        dev->mixer = m;
        dev->card = CardName(name).left(31);
        if (FindElem(m, QStringLiteral("Capture")) && snd_mixer_selem_has_capture_volume(
                                                          FindElem(m, QStringLiteral("Capture"))))
            dev->captureName = QStringLiteral("Capture");
        if (!element_.isEmpty()) {
            if (FindElem(m, element_))
                dev->micName = element_;
        } else {
            for (const auto& mic : MicNames()) {
                if (FindElem(m, mic)) {
                    dev->micName = mic;
                    break;
                }
            }
            if (dev->micName.isEmpty())
                dev->micName = dev->captureName;
        }
        devices_.push_back(std::move(dev));
    };
    if (err >= 0)
        add(ctl, mixer);
    if (ctl == QLatin1String("default")) {
        int card = -1;
        while (snd_card_next(&card) >= 0 && card >= 0) {
            const QString hw = QStringLiteral("hw:%1").arg(card);
            if (OpenMixer(hw, mixer) >= 0)
                add(hw, mixer);
        }
    }
}

AlsaMixerBackend::Device* AlsaMixerBackend::Dev(int device)
{
    Probe();
    if (device < 0 || device >= static_cast<int>(devices_.size()))
        return nullptr;
    return devices_[device].get();
}

int AlsaMixerBackend::DeviceCount()
{
    Probe();
    return static_cast<int>(devices_.size());
}

QStringList AlsaMixerBackend::DeviceNames()
{
    Probe();
    QStringList names;
    for (const auto& d : devices_)
        names << d->ctl;
    return names;
}

QString AlsaMixerBackend::CaptureElement(int device)
{
    Device* d = Dev(device);
    return d ? d->captureName : QString();
}

QString AlsaMixerBackend::MicElement(int device)
{
    Device* d = Dev(device);
    return d ? d->micName : QString();
}

int AlsaMixerBackend::GetDevCaps(int device, MixerCaps& caps)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    caps = MixerCaps();
    caps.productName = d->card;
    caps.driverVersion = (SND_LIB_MAJOR << 8) | SND_LIB_MINOR;
    caps.destinations = d->HasDest() ? 1 : 0;
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::LineByDestination(int device, int destination, MixerLineDesc& line)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (destination != 0 || !d->HasDest())
        return MMSYSERR_INVALPARAM;
    return LineById(device, kDestLineId, line);
}

int AlsaMixerBackend::LineById(int device, int lineId, MixerLineDesc& line)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (!d->HasDest())
        return MIXERR_INVALLINE;
    if (lineId != kDestLineId && !(lineId == kMicLineId && !d->micName.isEmpty()))
        return MIXERR_INVALLINE;
    const bool mic = lineId == kMicLineId;
    const ElemAccess a = d->LineAccess(lineId);
    line = MixerLineDesc();
    line.destination = 0;
    line.source = 0;
    line.lineId = lineId;
    line.flags = MIXERLINE_LINEF_ACTIVE | (mic ? MIXERLINE_LINEF_SOURCE : 0);
    line.componentType = mic ? MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE : MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    line.channels = a.elem ? a.channels : (d->MicAccess().elem ? d->MicAccess().channels : 1);
    line.connections = mic ? 0 : (d->micName.isEmpty() ? 0 : 1);
    line.controls = a.elem ? 1 + (a.hasSwitch ? 1 : 0) : 0;
    const QString name = mic ? d->micName : QStringLiteral("Capture");
    line.shortName = name.left(15);
    line.name = name.left(63);
    if (!mic) {
        line.target.type = MIXERLINE_TARGETTYPE_WAVEIN;
        line.target.deviceId = static_cast<std::uint32_t>(device);
        line.target.driverVersion = (SND_LIB_MAJOR << 8) | SND_LIB_MINOR;
        line.target.productName = d->card;
    }
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::LineByType(int device, std::uint32_t componentType, MixerLineDesc& line)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (componentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
        return LineById(device, kDestLineId, line);
    if (componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
        return LineById(device, kMicLineId, line);
    return MIXERR_INVALLINE;
}

int AlsaMixerBackend::LineBySource(int device, int destination, int source, MixerLineDesc& line)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (destination != 0 || source != 0 || d->micName.isEmpty())
        return MMSYSERR_INVALPARAM;
    return LineById(device, kMicLineId, line);
}

int AlsaMixerBackend::LineByTarget(int device, const MixerTarget& target, MixerLineDesc& line)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (target.type != MIXERLINE_TARGETTYPE_WAVEIN)
        return MIXERR_INVALLINE;
    return LineById(device, kDestLineId, line);
}

int AlsaMixerBackend::ControlById(int device, int controlId, MixerControlDesc& control, int& lineId)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    const int base = controlId & ~15;
    const int kind = controlId & 15;
    if ((base != 0 && base != 16) || (kind != kVolume && kind != kMute))
        return MIXERR_INVALCONTROL;
    lineId = base == 16 ? kMicLineId : kDestLineId;
    const ElemAccess a = d->LineAccess(lineId);
    if (a.elem == nullptr || (kind == kMute && !a.hasSwitch))
        return MIXERR_INVALCONTROL;
    const QString element = QString::fromUtf8(snd_mixer_selem_get_name(a.elem));
    control = MixerControlDesc();
    control.controlId = controlId;
    if (kind == kVolume) {
        control.controlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
        control.flags = (a.channels == 1 || a.volumeJoined) ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
        control.minimum = static_cast<std::int32_t>(std::clamp<long>(a.min, INT32_MIN, INT32_MAX));
        control.maximum = static_cast<std::int32_t>(std::clamp<long>(a.max, INT32_MIN, INT32_MAX));
        control.steps = MixerStepsForRange(a.min, a.max);
        control.shortName = QStringLiteral("Volume");
        control.name = (element + QStringLiteral(" Volume")).left(63);
    } else {
        control.controlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        control.flags = (a.channels == 1 || a.switchJoined) ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
        control.minimum = 0;
        control.maximum = 1;
        control.steps = 0;
        control.shortName = QStringLiteral("Mute");
        control.name = (element + QStringLiteral(" Mute")).left(63);
    }
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::ControlByType(int device, int lineId, std::uint32_t controlType,
                                    MixerControlDesc& control)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (lineId != kDestLineId && lineId != kMicLineId)
        return MIXERR_INVALLINE;
    const int base = lineId == kMicLineId ? 16 : 0;
    int id = -1;
    if (controlType == MIXERCONTROL_CONTROLTYPE_VOLUME)
        id = base + kVolume;
    else if (controlType == MIXERCONTROL_CONTROLTYPE_MUTE)
        id = base + kMute;
    else
        return MIXERR_INVALCONTROL;
    int line = 0;
    return ControlById(device, id, control, line);
}

int AlsaMixerBackend::GetValues(int device, int controlId, int channels, int items, std::int32_t* values)
{
    MixerControlDesc desc;
    int lineId = 0;
    int rc = ControlById(device, controlId, desc, lineId);
    if (rc != 0)
        return rc;
    Device* d = Dev(device);
    const ElemAccess a = d->LineAccess(lineId);
    const int own = (desc.flags & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : a.channels;
    if (items != 0 || (channels != 1 && channels != own) || values == nullptr)
        return MMSYSERR_INVALPARAM;
    d->Refresh();
    for (int ch = 0; ch < channels; ++ch) {
        int err = 0;
        if ((controlId & 15) == kVolume) {
            long v = 0;
            err = ReadVolume(a, ch, v);
            values[ch] = static_cast<std::int32_t>(v);
        } else {
            int on = 1;
            err = ReadSwitch(a, ch, on);
            values[ch] = on ? 0 : 1;
        }
        if (err < 0)
            return AlsaCode(err);
    }
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::SetValues(int device, int controlId, int channels, int items,
                                const std::int32_t* values)
{
    MixerControlDesc desc;
    int lineId = 0;
    int rc = ControlById(device, controlId, desc, lineId);
    if (rc != 0)
        return rc;
    Device* d = Dev(device);
    const ElemAccess a = d->LineAccess(lineId);
    const int own = (desc.flags & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : a.channels;
    if (items != 0 || (channels != 1 && channels != own) || values == nullptr)
        return MMSYSERR_INVALPARAM;
    for (int ch = 0; ch < channels; ++ch) {
        // One value for a multi-channel element sets all its channels.
        const int target = channels == 1 ? -1 : ch;
        const int err = (controlId & 15) == kVolume ? WriteVolume(a, target, values[ch])
                                                    : WriteSwitch(a, target, values[ch] ? 0 : 1);
        if (err < 0)
            return AlsaCode(err);
    }
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::GetListTexts(int device, int controlId, int, int, MixerListText*)
{
    MixerControlDesc desc;
    int lineId = 0;
    const int rc = ControlById(device, controlId, desc, lineId);
    // No control of this back end has items.
    return rc != 0 ? rc : MMSYSERR_INVALPARAM;
}

int AlsaMixerBackend::Open(int device, MixerNotify notify, int& handle)
{
    Device* d = Dev(device);
    if (d == nullptr)
        return MMSYSERR_BADDEVICEID;
    auto watch = std::make_unique<Watch>();
    watch->device = device;
    watch->notify = std::move(notify);
    const int err = OpenMixer(d->ctl, watch->mixer);
    if (err < 0)
        return AlsaCode(err);
    // Element callbacks: one record per element naming the lines it serves.
    std::map<snd_mixer_elem_t*, Watch::ElemInfo*> byElem;
    auto attach = [&](const QString& name, int lineId) {
        if (name.isEmpty())
            return;
        snd_mixer_elem_t* e = FindElem(watch->mixer, name);
        if (e == nullptr)
            return;
        auto it = byElem.find(e);
        if (it == byElem.end()) {
            watch->infos.push_back(std::make_unique<Watch::ElemInfo>(Watch::ElemInfo{watch.get(), {}}));
            it = byElem.emplace(e, watch->infos.back().get()).first;
            snd_mixer_elem_set_callback_private(e, it->second);
            snd_mixer_elem_set_callback(e, &Watch::Callback);
        }
        it->second->lineIds.push_back(lineId);
    };
    attach(d->captureName, kDestLineId);
    attach(d->micName, kMicLineId);
    const int count = snd_mixer_poll_descriptors_count(watch->mixer);
    if (count > 0) {
        std::vector<pollfd> fds(count);
        const int n = snd_mixer_poll_descriptors(watch->mixer, fds.data(), count);
        for (int i = 0; i < n; ++i) {
            if (!(fds[i].events & POLLIN))
                continue;
            auto notifier = std::make_unique<QSocketNotifier>(fds[i].fd, QSocketNotifier::Read);
            Watch* w = watch.get();
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [w] { w->Handle(); });
            watch->notifiers.push_back(std::move(notifier));
        }
    }
    handle = nextHandle_++;
    watches_[handle] = std::move(watch);
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::Close(int handle)
{
    auto it = watches_.find(handle);
    if (it == watches_.end())
        return MMSYSERR_INVALHANDLE;
    if (it->second->delivering) {
        // Closed by a receiver of its own notice: finish it later.
        for (auto& n : it->second->notifiers)
            n->setEnabled(false);
        it->second->notify = nullptr;
        zombies_.push_back(std::move(it->second));
        PostToWindow([this] { zombies_.clear(); }, this, 1);
    }
    watches_.erase(it);
    return MMSYSERR_NOERROR;
}

int AlsaMixerBackend::DeviceOfHandle(int handle, int& device)
{
    auto it = watches_.find(handle);
    if (it == watches_.end())
        return MMSYSERR_INVALHANDLE;
    device = it->second->device;
    return MMSYSERR_NOERROR;
}

QString AlsaMixerBackend::ErrorText(int code)
{
    if (code > kMMBackendBase && code != MIXERR_INVALLINE && code != MIXERR_INVALCONTROL &&
        code != MIXERR_INVALVALUE)
        return QString::fromUtf8(snd_strerror(-(code - kMMBackendBase)));
    return MixerErrorText(code);
}

}  // namespace zol::platform
