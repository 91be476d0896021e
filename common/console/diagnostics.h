// Diagnostics for the programs: one line per problem on standard error, counted so that the
// exit status can tell a clean run from one that went through with problems.
#ifndef COMMON_CONSOLE_DIAGNOSTICS_H_
#define COMMON_CONSOLE_DIAGNOSTICS_H_

#include <cstdarg>

#if defined(__GNUC__) || defined(__clang__)
#define COMMON_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define COMMON_PRINTF_FORMAT(fmt, args)
#endif

class Diagnostics {
 public:
  // `program` is the word that begins every line; it must outlive the object.
  explicit Diagnostics(const char* program) : program(program), count(0) {}

  // Writes "program: name: reason\n" to standard error, the reason formatted printf-style, and
  // counts it; `name` nullptr where the prefix names what the line is about. Control bytes are
  // written as \xHH, so that a diagnostic is always one line. Standard output is flushed first so
  // that the two streams stay in order.
  void Report(const char* name, const char* format, ...) COMMON_PRINTF_FORMAT(3, 4);

  // Writes "program: warning: message\n" the same way, without counting it.
  void Warn(const char* format, ...) COMMON_PRINTF_FORMAT(2, 3);

  // Writes "program: note: message\n" the same way, without counting it.
  void Note(const char* format, ...) COMMON_PRINTF_FORMAT(2, 3);

  // Begins the name of every later line with "PREFIX: " (an image's path, in a run over several);
  // nullptr for none. `prefix` must outlive its use.
  void SetPrefix(const char* text) { prefix = text; }

  // Shows `head` then `tail` on standard error as a progress line (no line feed), replacing the
  // one shown before; where the line would be wider than the terminal, the tail's start gives way
  // to "...". The next line written to standard error erases it first. For terminals only.
  void ShowProgress(const char* head, const char* tail);

  // Counts `lines` that another object reported (a worker's, for the run's exit status).
  void AddCount(int lines) { count += lines; }

  // The number of lines reported so far.
  int Count() const { return count; }

  // Keeps the reason of the next line reported (as written, without the program and name), for
  // FirstReason(): "" until a line comes.
  void KeepNextReason() {
    reason_at = count;
    reason[0] = '\0';
  }
  const char* FirstReason() const { return reason; }
  const char* Program() const { return program; }

 private:
  void WriteLine(const char* name, const char* format, va_list args);

  const char* program;
  const char* prefix = nullptr;
  int count;
  int reason_at = -1;  // the count of the line whose reason is kept
  char reason[256] = "";
};

#endif  // COMMON_CONSOLE_DIAGNOSTICS_H_
