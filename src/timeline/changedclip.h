#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <map>
#include <memory>
#include <set>

namespace routereel {

// A clip file replaced on disk while the player holds it: a deck or frame lookup
// opened before reads the old file (renamed over) or one that no longer matches
// what it read of it (written over), and a shorter file has nothing to show past
// its new end.
class ChangedClip {
public:
    // Looks at the file again: true when it is another than when last looked at.
    // The first look only remembers it. The file system is asked on a thread of
    // its own and waited for at most `statLimit`: a share that has gone may hold
    // a stat for minutes, and tells nothing of a change meanwhile. A clip whose
    // stat still stands is not asked again; the others are. A stat that answers
    // after its limit is taken at the next look.
    bool noticeReplacement(const QUrl &url);
    static constexpr std::chrono::milliseconds statLimit{50};
    // For a thread to begin the stat: one that never does is a machine that does not answer.
    static constexpr std::chrono::milliseconds threadStartLimit{2000};
    bool isReplaced(const QUrl &url) const { return m_replaced.count(url.toString()) > 0; }

    // Whether a clip that now lasts `clipLength` seconds has nothing at source
    // second `wanted`: past its end by more than its last pictures cover.
    static bool pastEnd(double wanted, double clipLength);
    // "Cannot load video: " and the file name, then on the next lines why (for the log).
    static QString loadError(const QUrl &url, const QString &detail);
    static QString pastEndError(const QUrl &url, double wanted, double clipLength);

private:
    struct Stamp {
        unsigned long long device = 0;
        unsigned long long inode = 0;
        long long size = -1;
        long long modifiedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    struct Asking;
    bool compare(const QString &key, const Asking &asking);
    std::map<QString, std::shared_ptr<Asking>> m_asking;  // each clip's last stat, which may still stand
    std::map<QString, Stamp> m_seen;
    std::set<QString> m_replaced;
};

} // namespace routereel
