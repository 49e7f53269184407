// A file URL from the server, turned into the file the program writes: the last segment of the URL, accepted
// only when it is a plain name, and then the path in flash/ (movies, pictures) or pic/ (advertisements).
//
// Input: the URL as text (see fuzz::text).

#include "base/portal/answers.h"
#include "base/portal/textops.h"
#include "fuzzsupport.h"

#include <QFileInfo>

namespace {

void checkPathIn(const QString &folder, const QString &name)
{
    for (const QString &app : fuzz::appFolders()) {
        FUZZ_CHECK(fuzz::staysDirectlyIn(app, folder, name), folder + QLatin1Char('/') + fuzz::shown(name));
        // What the file's QFileInfo says agrees: its name and its folder.
        const QFileInfo info(QDir(app).filePath(folder + QLatin1Char('/') + name));
        FUZZ_CHECK(info.fileName() == name, fuzz::shown(info.fileName()) + QStringLiteral(" for ") + fuzz::shown(name));
        FUZZ_CHECK(QDir::cleanPath(info.path()) == QDir::cleanPath(QDir(app).filePath(folder)),
                   fuzz::shown(info.path()) + QStringLiteral(" for ") + fuzz::shown(name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString url = fuzz::text(data, size);
    const QString name = get_last_segment(url, QStringLiteral("/"));
    FUZZ_CHECK(!name.contains(QLatin1Char('/')), fuzz::shown(name));
    const bool safe = isSafeFileName(name);
    if (safe)
        checkPathIn(QStringLiteral("flash"), name);

    // The advertisement's name is the same last segment, or nothing when that is not a plain name.
    const QString advertisement = advertisementFileName(url);
    FUZZ_CHECK(advertisement == (safe ? name : QString()),
               fuzz::shown(url) + QStringLiteral(" gave ") + fuzz::shown(advertisement));
    if (!advertisement.isEmpty())
        checkPathIn(QStringLiteral("pic"), advertisement);
    return 0;
}
