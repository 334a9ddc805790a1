#ifndef APPINFO_H
#define APPINFO_H

// The maker's page, shown in the window title, the link and the help footer.
#define QUILLMARK_SITE "https://www.morrowquay.com/quillmark"

#endif // APPINFO_H
