#ifndef DOVETALK_GLOBAL_H
#define DOVETALK_GLOBAL_H

#include <QtGlobal>

// Marks what the shared library offers to programs that link it.
#if defined(DOVETALK_LIBRARY)
#define DOVETALK_EXPORT Q_DECL_EXPORT
#else
#define DOVETALK_EXPORT Q_DECL_IMPORT
#endif

#endif // DOVETALK_GLOBAL_H
