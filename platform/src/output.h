// Where the mix goes in real time: the machine's audio device (SDL) or our own timed
// null output. Both pull blocks from the mixer on their own thread. Under the virtual
// clock there is no output thread: the clock's advance mixes.
#pragma once

#include <memory>
#include <string>

namespace plat {

class Mixer;

class Output {
public:
    virtual ~Output() = default;
    virtual void stop() = 0;
};

// Null output: a thread that mixes one block per block period, on absolute deadlines.
std::unique_ptr<Output> startNullOutput(Mixer& mixer);

// The default audio device; null with a reason when none opens.
std::unique_ptr<Output> startDeviceOutput(Mixer& mixer, std::string& failure);

}  // namespace plat
