#pragma once

// Shared by the fuzz targets.

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// A broken invariant names itself before aborting, so a crash report says what went wrong.
#define require(condition)                                                                        \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "invariant failed at line %d: %s\n", __LINE__, #condition);      \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

// Message handler that drops the code's expected warnings so the fuzzer's output stays readable.
inline void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
