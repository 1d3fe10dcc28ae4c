#include "tests/support/av_sync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <regex>
#include <sstream>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::test {

std::string FlashBeepClip(int seconds) {
    const std::string s = std::to_string(seconds);
    const char* colours[] = {"0x800000", "0x008000", "0x000080"};
    std::string graph, concat;
    for (int i = 0; i < seconds; ++i) {
        const std::string label = "[c" + std::to_string(i) + "]";
        graph += std::string("color=c=") + colours[i % 3] + ":s=320x240:r=25:d=1" + label + ";";
        concat += label;
    }
    // Frames 5-7, 34-36, 63-65 ... flash (every 29 frames); the beep sounds
    // from the same moments for 0.12 s.
    const std::string beep = "if(lt(mod(t+0.96\\,1.16)\\,0.12)\\,0.5*sin(2*PI*1000*t)\\,0)";
    graph += concat + "concat=n=" + s +
             ",drawbox=c=white:t=fill:enable=lt(mod(n+24\\,29)\\,3)[out0];aevalsrc=" + beep + "|" +
             beep + ":s=44100:d=" + s + "[out1]";
    return Fixture("flash_beep_" + s + "s.mkv",
                   "-f lavfi -i " + graph + " -c:v mpeg4 -q:v 3 -c:a pcm_s16le");
}

double SyncMeasure::WorstOffset() const {
    if (flashes.empty() || beeps.empty()) return std::numeric_limits<double>::infinity();
    double worst = 0;
    for (double f : flashes) {
        double nearest = std::numeric_limits<double>::infinity();
        for (double b : beeps) nearest = std::min(nearest, std::fabs(b - f));
        worst = std::max(worst, nearest);
    }
    return worst;
}

SyncMeasure MeasureSync(const std::string& path) {
    SyncMeasure m;
    // Mean brightness of every picture: a flash begins where it rises above
    // the middle of the scale.
    const ProcessResult pictures = RunProcess(
        "/usr/bin/ffmpeg",
        {"-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-vf",
         "signalstats,metadata=mode=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"});
    std::istringstream lines(pictures.out);
    std::string line;
    double time = 0;
    bool bright = false;
    while (std::getline(lines, line)) {
        if (auto at = line.find("pts_time:"); at != std::string::npos) {
            time = std::atof(line.c_str() + at + 9);
        } else if (auto y = line.find("YAVG="); y != std::string::npos) {
            const bool now = std::atof(line.c_str() + y + 5) > 128;
            if (now && !bright) m.flashes.push_back(time);
            bright = now;
        }
    }
    // The end of each silence is the start of a beep (or the end of the sound).
    const ProcessResult sound =
        RunProcess("/usr/bin/ffmpeg", {"-nostdin", "-hide_banner", "-i", path, "-map", "0:a:0",
                                       "-af", "silencedetect=n=-30dB:d=0.05", "-f", "null", "-"});
    static const std::regex end("silence_end: ([0-9.]+)");
    for (auto it = std::sregex_iterator(sound.err.begin(), sound.err.end(), end);
         it != std::sregex_iterator(); ++it) {
        m.beeps.push_back(std::stod((*it)[1]));
    }
    return m;
}

PictureMean PictureMeanAt(const std::string& path, double seconds) {
    const ProcessResult r = RunProcess(
        "/usr/bin/ffmpeg",
        {"-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-vf",
         "trim=start=" + std::to_string(seconds) + ",signalstats,metadata=mode=print:file=-",
         "-frames:v", "1", "-f", "null", "-"});
    PictureMean mean;
    auto value = [&](const char* key) {
        const auto at = r.out.find(std::string(key) + "=");
        return at == std::string::npos ? -1.0
                                       : std::atof(r.out.c_str() + at + std::strlen(key) + 1);
    };
    mean.y = value("lavfi.signalstats.YAVG");
    mean.u = value("lavfi.signalstats.UAVG");
    mean.v = value("lavfi.signalstats.VAVG");
    return mean;
}

}  // namespace zorvex::test
