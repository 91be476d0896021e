// A run over a collection's images on worker threads: the walk hands each image over in order, a
// worker reads it, and what each worker writes (listing and diagnostics) is written in the
// images' order, so that the run's output is byte for byte what one thread writes.
#ifndef COMMON_COLLECTIONS_IMAGE_JOBS_H_
#define COMMON_COLLECTIONS_IMAGE_JOBS_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <new>
#include <thread>

#include "common/collections/collection.h"
#include "common/console/output.h"

// What a worker does with one image.
class ImageWork {
 public:
  // Reads `image` on worker `worker` (0 to workers - 1: the state it may use as its own), with
  // the `note` that the walk's side gave with it. What it writes through the output layer is
  // kept and written in the images' order.
  virtual void ReadImage(int worker, const CollectionImage& image, const void* note) = 0;

 protected:
  ~ImageWork() = default;
};

class ImageJobs {
 public:
  // The most bytes of a note.
  static constexpr size_t kMaxNoteSize = 8448;
  // What one image's output may take before its worker waits for the images before it to be
  // written and then writes straight on.
  static constexpr size_t kOutputBufferSize = size_t{1} << 20;

  ImageJobs() = default;
  ~ImageJobs() { Stop(); }
  ImageJobs(const ImageJobs&) = delete;
  ImageJobs& operator=(const ImageJobs&) = delete;

  // Starts `workers` threads (2 to kMaxWorkers) and sends the calling thread's later output after
  // the images given before it. Memory: two slots per worker, each `output_buffer_size` bytes,
  // about 40 KB of names, and the largest archive member it was given. False (nothing started)
  // where the build has no threads or memory runs out.
  bool Start(int workers, ImageWork& work, size_t output_buffer_size = kOutputBufferSize);

  // Hands `image` over with `note_size` bytes at `note` (at most kMaxNoteSize), copying its
  // names and, for an archive's member, its bytes; waits while every slot is in use. A member
  // that cannot be copied for want of memory is read on the calling thread instead.
  void Submit(const CollectionImage& image, const void* note, size_t note_size);

  // Waits until every image given is read and its output written.
  void Drain();

  // Drains, ends the threads and frees the slots; the calling thread writes to the streams again.
  void Stop();

  static constexpr int kMaxWorkers = 64;

 private:
  struct Slot;
  class SlotSink;
  class CallerSink;

  void WorkerLoop(int worker);
  // Marks `slot` done and writes, in order, every finished image whose turn has come.
  void Finish(Slot& slot);
  // Makes `slot` the one writing: waits until every image before it is written.
  void TakeTurn(Slot& slot);

  ImageWork* work = nullptr;
  Slot* slots = nullptr;
  int slot_count = 0;
  std::thread* threads = nullptr;
  int thread_count = 0;
  size_t output_capacity = kOutputBufferSize;
  CallerSink* caller_sink = nullptr;
  std::mutex mutex;
  std::condition_variable changed;       // for the workers
  std::condition_variable caller_woken;  // for the calling thread: slots free, or all written
  int turn_waiters = 0;                  // workers waiting in TakeTurn
  long long submitted = 0, taken = 0, written = 0;
  bool writing = false;  // a thread writes finished images (or its own) to the streams
  bool stopping = false;
};

// For an argument argv[i] that begins with "-j": reads the number of workers that follows ("-jN",
// or "-j N", i then moved to N), 1 to ImageJobs::kMaxWorkers, into `workers` and returns true; for
// anything else says "PROGRAM: -j takes a number of threads from 1 to 64, not "TEXT"" on standard
// error and returns false (`workers` unchanged).
bool TakeWorkerCount(const char* program, int argc, char** argv, int& i, int& workers);

// The per-worker state of a run over a collection: `first` (the calling thread's) alone, or one
// Worker per worker, the first on `first`'s State and each other on one of its own; `first` alone
// where memory runs out. A Worker has a member `State* state`.
template <typename Worker, typename State>
class WorkerStates {
 public:
  WorkerStates(Worker& first, int workers) : workers(&first) {
    if (workers < 2) return;
    more = new (std::nothrow) Worker[static_cast<size_t>(workers)];
    states = new (std::nothrow) State[static_cast<size_t>(workers - 1)];
    if (more == nullptr || states == nullptr) return;
    this->workers = more;
    more[0].state = first.state;
    for (count = 1; count < workers; ++count) more[count].state = &states[count - 1];
  }
  ~WorkerStates() {
    delete[] more;
    delete[] states;
  }
  WorkerStates(const WorkerStates&) = delete;
  WorkerStates& operator=(const WorkerStates&) = delete;

  Worker* workers;
  int count = 1;

 private:
  Worker* more = nullptr;
  State* states = nullptr;
};

// The number of workers a run uses by default: the cores the system says it has (at least 1).
int DefaultWorkerCount();

#endif  // COMMON_COLLECTIONS_IMAGE_JOBS_H_
