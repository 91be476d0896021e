// Diagnostics for the programs: one line per problem on standard error, counted so that the
// exit status can tell a clean run from one that went through with problems.
#ifndef DISKIMAGE_DIAGNOSTICS_H_
#define DISKIMAGE_DIAGNOSTICS_H_

#if defined(__GNUC__) || defined(__clang__)
#define DISKIMAGE_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define DISKIMAGE_PRINTF_FORMAT(fmt, args)
#endif

class Diagnostics {
 public:
  // `program` is the word that begins every line; it must outlive the object.
  explicit Diagnostics(const char* program) : program(program), count(0) {}

  // Writes "program: name: reason\n" to standard error, the reason formatted printf-style, and
  // counts it. Standard output is flushed first so that the two streams stay in order.
  void Report(const char* name, const char* format, ...) DISKIMAGE_PRINTF_FORMAT(3, 4);

  // The number of lines reported so far.
  int Count() const { return count; }

 private:
  const char* program;
  int count;
};

#endif  // DISKIMAGE_DIAGNOSTICS_H_
