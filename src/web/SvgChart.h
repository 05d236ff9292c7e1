#pragma once

#include "ChartSeries.h"

#include <QString>

// The chart of a download as an inline SVG element drawn by the server (no script, no style attributes, so
// that the page's strict content policy lets it show): MEMORY the records of each setting as points over
// time with the class ranges as bands and failing records marked; OUTPUT the run as a line with its summary
// lines. Axis ends are labelled with their values.
QString SvgChart(const ChartSeriesData &data);
