// Accessibility attribute names ("AXRole", "AXChildren", ...) as an enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ax/detail/CaseList.h"

// clang-format off
#define MQ_AX_ATTRIBUTES(X) \
    X(role) X(roleDescription) X(subrole) X(help) X(value) X(minValue) X(maxValue) X(enabled) X(focused) \
    X(parent) X(children) X(window) X(topLevelUIElement) X(selectedChildren) X(visibleChildren) X(position) \
    X(size) X(frame) X(contents) X(title) X(description) X(shownMenu) X(valueDescription) \
    X(sharedFocusElements) X(previousContents) X(nextContents) X(header) X(edited) X(tabs) \
    X(horizontalScrollBar) X(verticalScrollBar) X(overflowButton) X(incrementButton) X(decrementButton) \
    X(filename) X(expanded) X(selected) X(splitters) X(document) X(activationPoint) X(url) X(index) \
    X(rowCount) X(columnCount) X(orderedByRow) X(warningValue) X(criticalValue) X(placeholderValue) \
    X(containsProtectedContent) X(alternateUIVisible) X(titleUIElement) X(servesAsTitleForUIElements) \
    X(linkedUIElements) X(selectedText) X(selectedTextRange) X(numberOfCharacters) X(visibleCharacterRange) \
    X(sharedTextUIElements) X(sharedCharacterRange) X(insertionPointLineNumber) X(selectedTextRanges) \
    X(textInputMarkedRange) X(lineForIndexParameterized) X(rangeForLineParameterized) \
    X(stringForRangeParameterized) X(rangeForPositionParameterized) X(rangeForIndexParameterized) \
    X(boundsForRangeParameterized) X(rtfForRangeParameterized) X(styleRangeForIndexParameterized) \
    X(attributedStringForRangeParameterized) X(fontText) X(foregroundColorText) X(backgroundColorText) \
    X(underlineColorText) X(strikethroughColorText) X(underlineText) X(superscriptText) X(strikethroughText) \
    X(shadowText) X(attachmentText) X(linkText) X(autocorrectedText) X(listItemPrefixText) \
    X(listItemIndexText) X(listItemLevelText) X(misspelledText) X(markedMisspelledText) X(main) X(minimized) \
    X(closeButton) X(zoomButton) X(minimizeButton) X(toolbarButton) X(proxy) X(growArea) X(modal) \
    X(defaultButton) X(cancelButton) X(fullScreenButton) X(fullScreen) X(menuBar) X(windows) X(frontmost) \
    X(hidden) X(mainWindow) X(focusedWindow) X(focusedUIElement) X(extrasMenuBar) X(enhancedUserInterface) \
    X(orientation) X(columnTitles) X(searchButton) X(searchMenu) X(clearButton) X(rows) X(visibleRows) \
    X(selectedRows) X(columns) X(visibleColumns) X(selectedColumns) X(sortDirection) X(selectedCells) \
    X(visibleCells) X(rowHeaderUIElements) X(columnHeaderUIElements) X(cellForColumnAndRowParameterized) \
    X(rowIndexRange) X(columnIndexRange) X(horizontalUnits) X(verticalUnits) X(horizontalUnitDescription) \
    X(verticalUnitDescription) X(layoutPointForScreenPointParameterized) \
    X(layoutSizeForScreenSizeParameterized) X(screenPointForLayoutPointParameterized) \
    X(screenSizeForLayoutSizeParameterized) X(handles) X(disclosing) X(disclosedRows) X(disclosedByRow) \
    X(disclosureLevel) X(allowedValues) X(labelUIElements) X(labelValue) X(matteHole) \
    X(matteContentUIElement) X(markerUIElements) X(markerValues) X(markerGroupUIElement) X(units) \
    X(unitDescription) X(markerType) X(markerTypeDescription) X(identifier) X(focusedApplication) \
    X(functionRowTopLevelElements) X(childrenInNavigationOrder)
// clang-format on

namespace mq::ax {

enum class Attribute : std::uint8_t { MQ_AX_ATTRIBUTES(MQ_AX_ENUMERATOR) };

inline constexpr std::size_t kAttributeCount = 0 MQ_AX_ATTRIBUTES(MQ_AX_COUNT);

/// "AX" and the case name with its first letter in upper case, except
/// `url` "AXURL" and `rtfForRangeParameterized` "AXRTFForRangeParameterized".
std::string_view rawValue(Attribute attribute);
/// The case name as written above ("roleDescription").
std::string_view caseName(Attribute attribute);
/// The case whose raw value is `raw`; nothing for any other string.
[[nodiscard]] std::optional<Attribute> attributeFromRawValue(std::string_view raw);
/// Every case, in order.
const std::array<Attribute, kAttributeCount>& allAttributes();

} // namespace mq::ax
