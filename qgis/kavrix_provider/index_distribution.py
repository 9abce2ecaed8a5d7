"""The distribution of the topographic index, given by kavrix-dist."""

from qgis.core import (QgsProcessingOutputString, QgsProcessingParameterFileDestination,
                       QgsProcessingParameterNumber, QgsProcessingParameterRasterLayer)

from .algorithm import KavrixAlgorithm
from .tools import run_tool


class IndexDistribution(KavrixAlgorithm):
    """The classes of the index in band 1 of a raster, as TOPMODEL reads
    them: a table in the log, a CSV file and optionally an SVG histogram."""

    TOOL = 'kavrix-dist'
    INPUT = 'INPUT'
    CLASSES = 'CLASSES'
    CSV = 'CSV'
    SVG = 'SVG'
    TABLE = 'TABLE'

    def name(self):
        return 'indexdistribution'

    def displayName(self):
        return 'Index distribution'

    def shortHelpString(self):
        return (
            'Gives the distribution of the topographic index in band 1 of a raster '
            '(the output of Topographic index, say) with kavrix-dist: classes of equal '
            'width, highest first, each with its index value (the class mid) and the '
            'fraction of cells, as TOPMODEL reads it. The table shows in the log and '
            'is the output TABLE; the CSV file adds the bounds, counts and cumulative '
            'fractions, the SVG file draws the histogram.')

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer(self.INPUT, 'Topographic index'))
        self.addParameter(QgsProcessingParameterNumber(
            self.CLASSES, 'Number of classes', QgsProcessingParameterNumber.Integer,
            defaultValue=30, minValue=1, maxValue=10000))
        self.addParameter(QgsProcessingParameterFileDestination(
            self.CSV, 'Classes (CSV)', 'CSV files (*.csv)'))
        self.addParameter(QgsProcessingParameterFileDestination(
            self.SVG, 'Histogram (SVG)', 'SVG files (*.svg)', optional=True,
            createByDefault=False))
        self.addOutput(QgsProcessingOutputString(self.TABLE, 'Distribution table'))

    def processAlgorithm(self, parameters, context, feedback):
        csv = self.parameterAsFileOutput(parameters, self.CSV, context)
        svg = self.parameterAsFileOutput(parameters, self.SVG, context)
        arguments = [self.raster_source(parameters, self.INPUT, context),
                     '-n', self.parameterAsInt(parameters, self.CLASSES, context), '--csv', csv]
        if svg:
            arguments += ['--svg', svg]
        table = run_tool(self.TOOL, arguments, feedback, show_progress=False)
        feedback.pushInfo(table)
        return {self.CSV: csv, self.SVG: svg or None, self.TABLE: table}
