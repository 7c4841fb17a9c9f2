// Marks what the shared library exports; everything else stays hidden.
#ifndef TALLYGATE_EXPORT_H_
#define TALLYGATE_EXPORT_H_

#define TALLYGATE_EXPORT __attribute__((visibility("default")))

#endif  // TALLYGATE_EXPORT_H_
