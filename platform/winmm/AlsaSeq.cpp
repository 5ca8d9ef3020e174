#include <alsa/asoundlib.h>

#include <mutex>

#include "MidiOutDevices.h"

namespace tikora::winmm {

namespace {

void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

snd_seq_t* OpenSeq() {
    snd_lib_error_set_handler(SilentAlsaErrors);
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return nullptr;
    snd_seq_set_client_name(seq, "Tikora");
    return seq;
}

class AlsaPort : public MidiOutPort {
public:
    AlsaPort(snd_seq_t* seq, int myPort, snd_midi_event_t* encoder) : seq_(seq), myPort_(myPort), encoder_(encoder) {}
    ~AlsaPort() override {
        snd_midi_event_free(encoder_);
        snd_seq_close(seq_);
    }
    MMRESULT Send(DWORD msg, int64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return SendLocked(msg);
    }
    // Sustain off and all notes off per channel: 32 events, not one note-off per key.
    MMRESULT Reset(int64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (DWORD ch = 0; ch < 16; ++ch) {
            MMRESULT r = SendLocked(0xB0 | ch | (64u << 8));
            if (r == MMSYSERR_NOERROR) r = SendLocked(0xB0 | ch | (123u << 8));
            if (r != MMSYSERR_NOERROR) return r;
        }
        return MMSYSERR_NOERROR;
    }

private:
    MMRESULT SendLocked(DWORD msg) {
        unsigned char bytes[3] = {static_cast<unsigned char>(msg), static_cast<unsigned char>(msg >> 8),
                                  static_cast<unsigned char>(msg >> 16)};
        if (bytes[0] < 0x80 || bytes[0] >= 0xF0) return MMSYSERR_INVALPARAM;
        int len = (bytes[0] & 0xE0) == 0xC0 ? 2 : 3;
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_midi_event_reset_encode(encoder_);
        if (snd_midi_event_encode(encoder_, bytes, len, &ev) != len || ev.type == SND_SEQ_EVENT_NONE)
            return MMSYSERR_INVALPARAM;
        snd_seq_ev_set_source(&ev, myPort_);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        return snd_seq_event_output_direct(seq_, &ev) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

    std::mutex mutex_;
    snd_seq_t* seq_;
    int myPort_;
    snd_midi_event_t* encoder_;
};

}  // namespace

std::vector<SeqPortInfo> ListAlsaPorts() {
    std::vector<SeqPortInfo> ports;
    snd_seq_t* seq = OpenSeq();
    if (!seq) return ports;
    int self = snd_seq_client_id(seq);
    snd_seq_client_info_t* cinfo;
    snd_seq_port_info_t* pinfo;
    snd_seq_client_info_alloca(&cinfo);
    snd_seq_port_info_alloca(&pinfo);
    snd_seq_client_info_set_client(cinfo, -1);
    while (snd_seq_query_next_client(seq, cinfo) >= 0) {
        int client = snd_seq_client_info_get_client(cinfo);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;
        snd_seq_port_info_set_client(pinfo, client);
        snd_seq_port_info_set_port(pinfo, -1);
        while (snd_seq_query_next_port(seq, pinfo) >= 0) {
            unsigned caps = snd_seq_port_info_get_capability(pinfo);
            const unsigned need = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
            if ((caps & need) != need || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
            SeqPortInfo info;
            info.client = client;
            info.port = snd_seq_port_info_get_port(pinfo);
            info.clientName = snd_seq_client_info_get_name(cinfo);
            info.portName = snd_seq_port_info_get_name(pinfo);
            ports.push_back(std::move(info));
        }
    }
    snd_seq_close(seq);
    return ports;
}

std::unique_ptr<MidiOutPort> OpenAlsaPort(const SeqPortInfo& info, MMRESULT* error) {
    snd_seq_t* seq = OpenSeq();
    if (!seq) {
        *error = MMSYSERR_NODRIVER;
        return nullptr;
    }
    int port = snd_seq_create_simple_port(seq, "Tikora out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_t* encoder = nullptr;
    if (port < 0 || snd_seq_connect_to(seq, port, info.client, info.port) < 0 || snd_midi_event_new(16, &encoder) < 0) {
        snd_seq_close(seq);
        *error = MMSYSERR_ALLOCATED;
        return nullptr;
    }
    snd_midi_event_no_status(encoder, 1);
    return std::make_unique<AlsaPort>(seq, port, encoder);
}

}  // namespace tikora::winmm
