#include "windowstate.h"

#include <QSettings>

#include <cmath>

namespace routereel {

namespace {

const QString languageKey = QStringLiteral("appLanguage");
const QString appearanceKey = QStringLiteral("appAppearance");
const QString compressionKey = QStringLiteral("exportCompressionFactor");

template <typename T, typename Signal>
void assign(WindowState *state, T &field, const T &value, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(state->*signal)();
}

} // namespace

WindowState::WindowState(QObject *parent)
    : QObject(parent)
{
    QSettings settings;
    m_mapProvider = settings.value(QStringLiteral("mapProvider")).toString() == QLatin1String("Mapbox")
                        ? MapProvider::mapbox
                        : MapProvider::openStreetMap;
    m_mapboxToken = settings.value(QStringLiteral("mapboxToken")).toString();
    m_appLanguage = settings.value(languageKey, QStringLiteral("en")).toString();
    m_appAppearance = settings.value(appearanceKey, QStringLiteral("light")).toString();
    bool ok = false;
    const double factor = settings.value(compressionKey).toDouble(&ok);
    // A hand-edited "nan" or "inf" reads as the default; other values stay as stored.
    m_exportCompressionFactor = ok && std::isfinite(factor) ? factor : 1.0;
}

void WindowState::setShowError(bool value) { assign(this, m_showError, value, &WindowState::showErrorChanged); }
void WindowState::setErrorMessage(const QString &value)
{
    assign(this, m_errorMessage, value, &WindowState::errorMessageChanged);
}
void WindowState::setShowNetworkAlert(bool value)
{
    assign(this, m_showNetworkAlert, value, &WindowState::showNetworkAlertChanged);
}
void WindowState::setMapProvider(MapProvider value)
{
    assign(this, m_mapProvider, value, &WindowState::mapProviderChanged);
}
void WindowState::setMapboxToken(const QString &value)
{
    assign(this, m_mapboxToken, value, &WindowState::mapboxTokenChanged);
}
void WindowState::setShowTokenSheet(bool value)
{
    assign(this, m_showTokenSheet, value, &WindowState::showTokenSheetChanged);
}
void WindowState::setShowCacheSheet(bool value)
{
    assign(this, m_showCacheSheet, value, &WindowState::showCacheSheetChanged);
}
void WindowState::setShowLogSheet(bool value)
{
    assign(this, m_showLogSheet, value, &WindowState::showLogSheetChanged);
}
void WindowState::setShowFeedbackSheet(bool value)
{
    assign(this, m_showFeedbackSheet, value, &WindowState::showFeedbackSheetChanged);
}
void WindowState::setShowExportSheet(bool value)
{
    assign(this, m_showExportSheet, value, &WindowState::showExportSheetChanged);
}

void WindowState::setAppLanguage(const QString &value)
{
    if (value == m_appLanguage)
        return;
    m_appLanguage = value;
    QSettings().setValue(languageKey, value);
    emit appLanguageChanged();
}

void WindowState::setAppAppearance(const QString &value)
{
    if (value == m_appAppearance)
        return;
    m_appAppearance = value;
    QSettings().setValue(appearanceKey, value);
    emit appAppearanceChanged();
}

void WindowState::setCollapsedSections(const QSet<QString> &value)
{
    assign(this, m_collapsedSections, value, &WindowState::collapsedSectionsChanged);
}
void WindowState::setSelectedPreset(ExportPreset value)
{
    assign(this, m_selectedPreset, value, &WindowState::selectedPresetChanged);
}

void WindowState::setExportCompressionFactor(double value)
{
    if (value == m_exportCompressionFactor)
        return;
    m_exportCompressionFactor = value;
    QSettings().setValue(compressionKey, value);
    emit exportCompressionFactorChanged();
}

void WindowState::setCompositionMode(CompositionMode value)
{
    assign(this, m_compositionMode, value, &WindowState::compositionModeChanged);
}
void WindowState::setWidgetLayoutSize(const std::optional<QSizeF> &value)
{
    assign(this, m_widgetLayoutSize, value, &WindowState::widgetLayoutSizeChanged);
}
void WindowState::setProjectURL(const QUrl &value)
{
    assign(this, m_projectURL, value, &WindowState::projectURLChanged);
}

namespace {

std::optional<QPointF> &slot(WidgetPositions &positions, WidgetKind kind)
{
    switch (kind) {
    case WidgetKind::map: return positions.map;
    case WidgetKind::gpsPath: return positions.gpsPath;
    case WidgetKind::speed: return positions.speed;
    case WidgetKind::time: return positions.time;
    case WidgetKind::heartRate: return positions.heartRate;
    case WidgetKind::heartRateGraph: return positions.heartRateGraph;
    }
    return positions.map;
}

constexpr WidgetKind allKinds[] = {WidgetKind::map,  WidgetKind::gpsPath,   WidgetKind::speed,
                                   WidgetKind::time, WidgetKind::heartRate, WidgetKind::heartRateGraph};

} // namespace

std::optional<QPointF> WindowState::position(WidgetKind kind) const
{
    return slot(const_cast<WidgetPositions &>(m_positions), kind);
}

void WindowState::setPosition(WidgetKind kind, const std::optional<QPointF> &value)
{
    std::optional<QPointF> &field = slot(m_positions, kind);
    if (field == value)
        return;
    field = value;
    emit positionChanged(kind);
    emit widgetPositionsChanged();
}

void WindowState::setWidgetPositions(const WidgetPositions &value)
{
    if (value == m_positions)
        return;
    const WidgetPositions old = m_positions;
    m_positions = value;
    for (WidgetKind kind : allKinds) {
        if (slot(const_cast<WidgetPositions &>(old), kind) != slot(m_positions, kind))
            emit positionChanged(kind);
    }
    emit widgetPositionsChanged();
}

} // namespace routereel
