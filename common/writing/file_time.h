// Giving an extracted file or folder the date its disk recorded for it.
#ifndef COMMON_WRITING_FILE_TIME_H_
#define COMMON_WRITING_FILE_TIME_H_

// Sets the modification (and access) time of `name`, in the current directory (the thread's), to
// the local date and time given. `name` is Shift-JIS, or UTF-8 with `utf8_name` (as SaveFile takes
// it). Returns 0, or the errno value: EINVAL for a date that the system cannot represent.
int SetModificationTime(const char* name, bool utf8_name, int year, int month, int day, int hour,
                        int minute, int second);

#endif  // COMMON_WRITING_FILE_TIME_H_
