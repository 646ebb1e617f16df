#pragma once

#include "timeline/compositionmode.h"
#include "export/exportpreset.h"
#include "project/widgetpositions.h"
#include "widgets/mapenums.h"

#include <QObject>
#include <QPointF>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <optional>

namespace routereel {

// The six overlay widgets, in the order the inspector lists them.
enum class WidgetKind { map, gpsPath, speed, time, heartRate, heartRateGraph };

// The main window's own state: one observable object that every view binds to
// and none copies. Three values are stored settings ("appLanguage",
// "appAppearance", "exportCompressionFactor"); "mapProvider" and "mapboxToken"
// are read once here and written by the inspector and the token sheet.
class WindowState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool showError READ showError WRITE setShowError NOTIFY showErrorChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool showNetworkAlert READ showNetworkAlert WRITE setShowNetworkAlert NOTIFY showNetworkAlertChanged)
    Q_PROPERTY(QString mapboxToken READ mapboxToken WRITE setMapboxToken NOTIFY mapboxTokenChanged)
    Q_PROPERTY(bool showTokenSheet READ showTokenSheet WRITE setShowTokenSheet NOTIFY showTokenSheetChanged)
    Q_PROPERTY(bool showCacheSheet READ showCacheSheet WRITE setShowCacheSheet NOTIFY showCacheSheetChanged)
    Q_PROPERTY(bool showLogSheet READ showLogSheet WRITE setShowLogSheet NOTIFY showLogSheetChanged)
    Q_PROPERTY(bool showFeedbackSheet READ showFeedbackSheet WRITE setShowFeedbackSheet NOTIFY showFeedbackSheetChanged)
    Q_PROPERTY(QString appLanguage READ appLanguage WRITE setAppLanguage NOTIFY appLanguageChanged)
    Q_PROPERTY(QString appAppearance READ appAppearance WRITE setAppAppearance NOTIFY appAppearanceChanged)
    Q_PROPERTY(bool showExportSheet READ showExportSheet WRITE setShowExportSheet NOTIFY showExportSheetChanged)
    Q_PROPERTY(double exportCompressionFactor READ exportCompressionFactor WRITE setExportCompressionFactor NOTIFY
                   exportCompressionFactorChanged)
    Q_PROPERTY(QUrl projectURL READ projectURL WRITE setProjectURL NOTIFY projectURLChanged)

public:
    explicit WindowState(QObject *parent = nullptr);

    bool showError() const { return m_showError; }
    void setShowError(bool value);
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString &value);
    bool showNetworkAlert() const { return m_showNetworkAlert; }
    void setShowNetworkAlert(bool value);

    MapProvider mapProvider() const { return m_mapProvider; }
    void setMapProvider(MapProvider value);
    QString mapboxToken() const { return m_mapboxToken; }
    void setMapboxToken(const QString &value);
    // The live map can be shown: OSM, or Mapbox with a token (spaces count).
    bool mapReady() const { return m_mapProvider == MapProvider::openStreetMap || !m_mapboxToken.isEmpty(); }

    bool showTokenSheet() const { return m_showTokenSheet; }
    void setShowTokenSheet(bool value);
    bool showCacheSheet() const { return m_showCacheSheet; }
    void setShowCacheSheet(bool value);
    bool showLogSheet() const { return m_showLogSheet; }
    void setShowLogSheet(bool value);
    bool showFeedbackSheet() const { return m_showFeedbackSheet; }
    void setShowFeedbackSheet(bool value);
    bool showExportSheet() const { return m_showExportSheet; }
    void setShowExportSheet(bool value);

    // "en" or "zh-Hans"; any other stored text reads as "en".
    // As stored: "en" (also when absent), "zh-Hans", or whatever else was written there.
    QString appLanguage() const { return m_appLanguage; }
    void setAppLanguage(const QString &value);
    QString appAppearance() const { return m_appAppearance; }
    void setAppAppearance(const QString &value);
    bool isDark() const { return m_appAppearance == QLatin1String("dark"); }

    QSet<QString> collapsedSections() const { return m_collapsedSections; }
    void setCollapsedSections(const QSet<QString> &value);

    ExportPreset selectedPreset() const { return m_selectedPreset; }
    void setSelectedPreset(ExportPreset value);
    double exportCompressionFactor() const { return m_exportCompressionFactor; }
    void setExportCompressionFactor(double value);
    CompositionMode compositionMode() const { return m_compositionMode; }
    void setCompositionMode(CompositionMode value);

    std::optional<QSizeF> widgetLayoutSize() const { return m_widgetLayoutSize; }
    void setWidgetLayoutSize(const std::optional<QSizeF> &value);
    std::optional<QPointF> position(WidgetKind kind) const;
    void setPosition(WidgetKind kind, const std::optional<QPointF> &value);
    WidgetPositions widgetPositions() const { return m_positions; }
    void setWidgetPositions(const WidgetPositions &value);

    QUrl projectURL() const { return m_projectURL; }
    void setProjectURL(const QUrl &value);

signals:
    void showErrorChanged();
    void errorMessageChanged();
    void showNetworkAlertChanged();
    void mapProviderChanged();
    void mapboxTokenChanged();
    void showTokenSheetChanged();
    void showCacheSheetChanged();
    void showLogSheetChanged();
    void showFeedbackSheetChanged();
    void showExportSheetChanged();
    void appLanguageChanged();
    void appAppearanceChanged();
    void collapsedSectionsChanged();
    void selectedPresetChanged();
    void exportCompressionFactorChanged();
    void compositionModeChanged();
    void widgetLayoutSizeChanged();
    // One widget's position changed; `widgetPositionsChanged` follows every change.
    void positionChanged(routereel::WidgetKind kind);
    void widgetPositionsChanged();
    void projectURLChanged();

private:
    bool m_showError = false;
    QString m_errorMessage;
    bool m_showNetworkAlert = false;
    MapProvider m_mapProvider = MapProvider::openStreetMap;
    QString m_mapboxToken;
    bool m_showTokenSheet = false;
    bool m_showCacheSheet = false;
    bool m_showLogSheet = false;
    bool m_showFeedbackSheet = false;
    bool m_showExportSheet = false;
    QString m_appLanguage;
    QString m_appAppearance;
    QSet<QString> m_collapsedSections;
    ExportPreset m_selectedPreset = ExportPreset::original;
    double m_exportCompressionFactor = 1.0;
    CompositionMode m_compositionMode = CompositionMode::regular;
    std::optional<QSizeF> m_widgetLayoutSize;
    WidgetPositions m_positions;
    QUrl m_projectURL;
};

} // namespace routereel
