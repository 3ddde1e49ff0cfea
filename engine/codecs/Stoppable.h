// Stopping work part way. A stop request is an atomic flag that the job
// sets from any thread (a signal handler included); decoders, encoders and
// the engine's steps look at it as they go and give up by raising EStopped,
// whose text says what stopped ("decode stopped"). Nothing a stopped step
// made is kept: the job throws its picture away and writes no file.
#pragma once

#include <atomic>
#include <functional>

#include "engine/codecs/CodecIO.h"

namespace tovali {

// A codec's error, so that whoever reports a decode or an encode that
// failed treats one that stopped alike.
class EStopped : public ECodecError {
  public:
    using ECodecError::ECodecError;
};

// True once `cancel` (when given) is set.
inline bool StopRequested(const std::atomic<bool>* cancel) noexcept {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Raises EStopped(text) once `cancel` is set.
void ThrowIfStopped(const std::atomic<bool>* cancel, const char* text);

// How many rows a loop over a picture's rows does between two looks at the
// stop request: a few milliseconds of the slowest loop on the widest rows.
inline constexpr int kRowsPerStopLook = 16;

// For a library call that cannot be told to stop at once (libheif's
// decoders and AV1 encoder; libwebp's encoder looks for a stop only once a
// percent): runs `work` on a thread of its own and waits for it, looking at
// `cancel` every few milliseconds. Once it is set, raises EStopped(text) at
// once and leaves the work to end on its own, unseen, with `abandoned` set
// for a library that can cut its work short. `work` must therefore own
// everything it touches (shared pointers, copies; not `cancel`, which may
// be gone by then), and whatever it yields is read only after a return. An
// error of the work is raised here. Without `cancel`, or without a thread
// to be had, the work runs on the caller's thread. Work starts only once no
// abandoned work is left running (a stop ends that wait too), so that at
// most one stopped job's work lives beside a new job's.
using TStoppableWork = std::function<void(const std::atomic<bool>& abandoned)>;
void RunStoppable(TStoppableWork work, const std::atomic<bool>* cancel, const char* text);

}  // namespace tovali
