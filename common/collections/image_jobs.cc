// Images read on worker threads, their output kept per image and written in order.
#include "common/collections/image_jobs.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Copies `text` (nullptr: "") into `to` of kCollectionNameSize bytes.
void CopyName(const char* text, char* to) {
  snprintf(to, kCollectionNameSize, "%s", text != nullptr ? text : "");
}

}  // namespace

// One image in flight: what it was given and what it wrote.
struct ImageJobs::Slot {
  enum class State { kFree, kReady, kReading, kDone };
  State state = State::kFree;
  long long sequence = 0;
  bool straight = false;  // its turn came while it was read: it writes to the streams
  char path[kCollectionNameSize], shown[kCollectionNameSize], folder[kCollectionNameSize],
      file[kCollectionNameSize];
  bool has_path = false;
  unsigned char* member = nullptr;  // an archive member's bytes, grown to the largest
  size_t member_size = 0, member_capacity = 0;
  alignas(8) unsigned char note[kMaxNoteSize];
  // The output: records of a stream byte, a 4-byte length and the bytes.
  char* output = nullptr;
  size_t output_size = 0;
  size_t last_record = 0;  // where the last record begins, while output_size > 0

  // Appends to the record of the same stream, or begins one; false when it does not fit in
  // `capacity` bytes.
  bool Keep(OutputStream stream, const char* bytes, size_t size, size_t capacity) {
    if (output_size > 0 && output[last_record] == static_cast<char>(stream) &&
        stream != OutputStream::kFlush) {
      if (size > capacity - output_size) return false;
      uint32_t length;
      memcpy(&length, output + last_record + 1, 4);
      length += static_cast<uint32_t>(size);
      memcpy(output + last_record + 1, &length, 4);
    } else {
      if (5 > capacity - output_size || size > capacity - output_size - 5) return false;
      last_record = output_size;
      output[output_size] = static_cast<char>(stream);
      const uint32_t length = static_cast<uint32_t>(size);
      memcpy(output + output_size + 1, &length, 4);
      output_size += 5;
    }
    if (size > 0) memcpy(output + output_size, bytes, size);
    output_size += size;
    return true;
  }

  // Writes the records kept to the streams, and forgets them.
  void WriteKept() {
    for (size_t at = 0; at < output_size;) {
      uint32_t length;
      memcpy(&length, output + at + 1, 4);
      WriteToStreams(static_cast<OutputStream>(output[at]), output + at + 5, length);
      at += 5 + length;
    }
    output_size = 0;
  }
};

// A worker's output while it reads the image of `slot`.
class ImageJobs::SlotSink final : public OutputSink {
 public:
  SlotSink(ImageJobs& jobs, Slot& slot) : jobs(jobs), slot(slot) {}
  void Write(OutputStream stream, const char* bytes, size_t size) override {
    if (!slot.straight && slot.Keep(stream, bytes, size, jobs.output_capacity)) return;
    if (!slot.straight) {
      jobs.TakeTurn(slot);
      slot.WriteKept();
      slot.straight = true;
    }
    WriteToStreams(stream, bytes, size);
  }

 private:
  ImageJobs& jobs;
  Slot& slot;
};

// The output of the thread that started the jobs: after everything it handed over.
class ImageJobs::CallerSink final : public OutputSink {
 public:
  explicit CallerSink(ImageJobs& jobs) : jobs(jobs) {}
  void Write(OutputStream stream, const char* bytes, size_t size) override {
    jobs.Drain();
    WriteToStreams(stream, bytes, size);
  }

 private:
  ImageJobs& jobs;
};

int DefaultWorkerCount() {
#ifdef __EMSCRIPTEN__
  return 1;  // the page's module has no threads
#else
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0                       ? 1
         : cores > ImageJobs::kMaxWorkers ? ImageJobs::kMaxWorkers
                                          : static_cast<int>(cores);
#endif
}

bool TakeWorkerCount(const char* program, int argc, char** argv, int& i, int& workers) {
  const char* text = argv[i][2] != '\0' ? argv[i] + 2 : i + 1 < argc ? argv[++i] : "";
  char* end = nullptr;
  const long count = strtol(text, &end, 10);
  if (text[0] < '0' || text[0] > '9' || *end != '\0' || count < 1 ||
      count > ImageJobs::kMaxWorkers) {
    fprintf(stderr, "%s: -j takes a number of threads from 1 to %d, not \"%s\"\n", program,
            ImageJobs::kMaxWorkers, text);
    return false;
  }
  workers = static_cast<int>(count);
  return true;
}

bool ImageJobs::Start(int workers, ImageWork& given, size_t output_buffer_size) {
#ifdef __EMSCRIPTEN__
  (void)workers;
  (void)given;
  (void)output_buffer_size;
  return false;
#else
  if (workers < 2 || workers > kMaxWorkers || output_buffer_size < 16) return false;
  output_capacity = output_buffer_size;
  work = &given;
  slot_count = 2 * workers;
  slots = new (std::nothrow) Slot[static_cast<size_t>(slot_count)];
  threads = new (std::nothrow) std::thread[static_cast<size_t>(workers)];
  caller_sink = new (std::nothrow) CallerSink(*this);
  bool ready = slots != nullptr && threads != nullptr && caller_sink != nullptr;
  for (int i = 0; ready && i < slot_count; ++i) {
    slots[i].output = static_cast<char*>(malloc(output_capacity));
    ready = slots[i].output != nullptr;
  }
  if (!ready) {
    Stop();
    return false;
  }
  submitted = taken = written = 0;
  stopping = writing = false;
  // The calling thread takes the signals that end a run (its handlers remove files half written);
  // the workers are started with them blocked.
#ifndef _WIN32
  sigset_t ending, before;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &ending, &before);
#endif
  for (thread_count = 0; thread_count < workers; ++thread_count) {
    threads[thread_count] = std::thread(&ImageJobs::WorkerLoop, this, thread_count);
  }
#ifndef _WIN32
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
  SetThreadOutput(caller_sink);
  return true;
#endif
}

void ImageJobs::Submit(const CollectionImage& image, const void* note, size_t note_size) {
  std::unique_lock<std::mutex> lock(mutex);
  // With every slot in use, the calling thread waits until half of them are free again: it wakes
  // once for several images, not once for each.
  if (submitted - written >= slot_count) {
    caller_woken.wait(lock, [&] { return submitted - written <= slot_count / 2; });
  }
  Slot& slot = slots[submitted % slot_count];
  lock.unlock();
  if (image.bytes != nullptr && image.size > slot.member_capacity) {
    void* larger = realloc(slot.member, image.size);
    if (larger == nullptr) {
      // No room to keep it: read here, in its turn.
      Drain();
      SetThreadOutput(nullptr);
      work->ReadImage(0, image, note);
      SetThreadOutput(caller_sink);
      return;
    }
    slot.member = static_cast<unsigned char*>(larger);
    slot.member_capacity = image.size;
  }
  if (image.bytes != nullptr && image.size > 0) memcpy(slot.member, image.bytes, image.size);
  slot.member_size = image.bytes != nullptr ? image.size : 0;
  slot.has_path = image.path != nullptr;
  CopyName(image.path, slot.path);
  CopyName(image.shown, slot.shown);
  CopyName(image.folder, slot.folder);
  CopyName(image.file, slot.file);
  memcpy(slot.note, note, note_size < kMaxNoteSize ? note_size : kMaxNoteSize);
  slot.straight = false;
  slot.output_size = 0;
  lock.lock();
  slot.sequence = submitted++;
  slot.state = Slot::State::kReady;
  changed.notify_all();
}

void ImageJobs::WorkerLoop(int worker) {
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return stopping || taken < submitted; });
    if (taken == submitted) return;
    Slot& slot = slots[taken++ % slot_count];
    slot.state = Slot::State::kReading;
    lock.unlock();
    const CollectionImage image = {
        slot.has_path ? slot.path : nullptr,          slot.shown,       slot.folder,
        slot.member_size > 0 ? slot.member : nullptr, slot.member_size, slot.file};
    SlotSink sink(*this, slot);
    SetThreadOutput(&sink);
    work->ReadImage(worker, image, slot.note);
    SetThreadOutput(nullptr);
    Finish(slot);
  }
}

void ImageJobs::TakeTurn(Slot& slot) {
  std::unique_lock<std::mutex> lock(mutex);
  ++turn_waiters;
  changed.wait(lock, [&] { return written == slot.sequence && !writing; });
  --turn_waiters;
  writing = true;
}

void ImageJobs::Finish(Slot& slot) {
  std::unique_lock<std::mutex> lock(mutex);
  slot.state = Slot::State::kDone;
  // A slot that wrote straight holds the turn; otherwise the turn is taken only when free.
  if (!slot.straight) {
    if (writing) return;
    writing = true;
  }
  for (;;) {
    Slot& next = slots[written % slot_count];
    if (written == submitted || next.state != Slot::State::kDone) break;
    lock.unlock();
    next.WriteKept();
    lock.lock();
    next.state = Slot::State::kFree;
    next.straight = false;
    ++written;
    if (turn_waiters > 0) changed.notify_all();
  }
  writing = false;
  if (turn_waiters > 0) changed.notify_all();
  if (written == submitted || submitted - written <= slot_count / 2) caller_woken.notify_one();
}

void ImageJobs::Drain() {
  std::unique_lock<std::mutex> lock(mutex);
  caller_woken.wait(lock, [&] { return written == submitted && !writing; });
}

void ImageJobs::Stop() {
  if (threads != nullptr) {
    Drain();
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      changed.notify_all();
    }
    for (int i = 0; i < thread_count; ++i) threads[i].join();
    SetThreadOutput(nullptr);
  }
  delete[] threads;
  threads = nullptr;
  thread_count = 0;
  for (int i = 0; slots != nullptr && i < slot_count; ++i) {
    free(slots[i].output);
    free(slots[i].member);
  }
  delete[] slots;
  slots = nullptr;
  slot_count = 0;
  delete caller_sink;
  caller_sink = nullptr;
}
