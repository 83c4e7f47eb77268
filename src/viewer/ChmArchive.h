#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <memory>

struct chmFile;

// A compiled HTML help file (.chm): its pages and pictures, its contents (.hhc) and its keyword
// index (.hhk), read with CHMLib.
//
// CHMLib trusts every number in the file, so the container's layout is checked before CHMLib
// sees it, and each member's extent before it is read: a damaged or hostile file fails to open,
// or its member fails to read, and never takes the program down. The calls may come from
// several threads; they take turns on the one CHMLib handle.
class ChmArchive
{
public:
    struct Entry
    {
        QString name;  // as the contents or the index shows it
        QString local; // the member it leads to, from the archive's root: "/a.htm#margin"; empty for a heading
        int level = 0; // nesting depth, 0 at the top; never more than one below the entry before it
        QString topic; // in the index, the title of this topic of a keyword that leads to several
    };

    // What the archive holds beyond this is refused rather than read.
    static constexpr qint64 MaxFileSize = 1024LL * 1024 * 1024;
    static constexpr qint64 MaxMemberSize = 64 * 1024 * 1024;
    static constexpr qint64 MaxSitemapSize = 16 * 1024 * 1024;
    static constexpr int MaxEntries = 200000;
    static constexpr int MaxMembers = 500000;

    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    // Opens a file; null with the reason when it is not a readable CHM.
    static std::unique_ptr<ChmArchive> open(const QString& path, Result* error = nullptr);

    // "/a.htm", a leading "/" optional, letter case ignored as Windows did; a "#fragment" after
    // the name of a page is passed over.
    bool contains(const QString& member) const;
    // The whole member; fails for a missing one, one larger than MaxMemberSize, or a damaged one.
    QByteArray read(const QString& member, Result* error = nullptr) const;
    // Every member's name as the archive spells it, in the archive's order.
    QStringList members() const { return m_order; }

    QString title() const { return m_title; }
    // The member the file opens on ("/a.htm"); the first contents entry with a page when the
    // file names none or names one it lacks.
    QString defaultTopic() const { return m_defaultTopic; }
    // Windows' language of the file (0x0411 Japanese), 0 when it says none.
    quint32 lcid() const { return m_lcid; }
    QList<Entry> contents() const { return m_contents; }
    QList<Entry> keywordIndex() const { return m_index; } // empty when the file has none

    // Resolves a link found in member `from` ("b.htm#x", "../c/d.htm", "/e.htm") to a member path
    // ("/b.htm#x"); empty when it leads outside the archive (another file, a web address, above
    // the root).
    static QString resolve(const QString& from, const QString& link);

    // Reads a contents or index file (the HTML of nested <ul><li><object type="text/sitemap">)
    // found at member `sitemap`, in the encoding its bytes, its <meta> or the language imply.
    static QList<Entry> parseSitemap(const QByteArray& html, quint32 lcid = 0, const QString& sitemap = {});
    // Text of the file's own settings and sitemaps: UTF-8 when it decodes cleanly, else the
    // charset named, else the language's Windows code page, else Shift_JIS.
    static QString decode(const QByteArray& bytes, quint32 lcid, const QByteArray& charset = {});

private:
    struct Member
    {
        QString name; // as the archive spells it
        quint64 start = 0;
        quint64 length = 0;
        int space = 0;
    };

    // Where the sections lie, from the checked layout.
    struct Layout
    {
        quint64 fileSize = 0;
        quint64 dataOffset = 0;
        bool compressed = false;
        quint64 compressedSize = 0; // the uncompressed length of the compressed section
        quint32 lcid = 0;
    };

    ChmArchive() = default;
    const Member* find(const QString& member) const;
    Result readMember(const Member& member, QByteArray* data) const;
    Result reopen() const;
    Result checkCompressedSection();
    void readSettings();
    QList<Entry> readSitemap(const QString& member) const;
    // As resolve() and parseSitemap(), with links into help files other than `archive` (a file name) left out;
    // an empty `archive` takes "ms-its:" links as leading into this one.
    static QString resolveIn(const QString& from, const QString& link, const QString& archive);
    static QList<Entry> parseSitemapIn(const QByteArray& html, quint32 lcid, const QString& sitemap,
                                       const QString& archive);

    QString m_path;
    QString m_handlePath; // the file as CHMLib opens it, the one that was checked
    int m_fd = -1;        // keeps the checked file for CHMLib to open again after a failed read
    Layout m_layout;
    mutable QMutex m_mutex;
    mutable chmFile* m_chm = nullptr;
    QHash<QString, Member> m_members; // by case-folded name
    QStringList m_order;
    QString m_firstContentsFile;
    QString m_firstIndexFile;
    QString m_title;
    QString m_defaultTopic;
    quint32 m_lcid = 0;
    QList<Entry> m_contents;
    QList<Entry> m_index;
};
