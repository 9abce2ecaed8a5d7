"""The topographic index of three rasters, computed by kavrix-gdal."""

import os

from qgis.core import (QgsProcessingException, QgsProcessingParameterBand,
                       QgsProcessingParameterDefinition, QgsProcessingParameterEnum,
                       QgsProcessingParameterNumber, QgsProcessingParameterRasterDestination,
                       QgsProcessingParameterRasterLayer, QgsProcessingParameterString,
                       QgsRasterFileWriter)

from .algorithm import KavrixAlgorithm
from .tools import run_tool

# The formats whose round trip kavrix-gdal has checked, by the extension of
# the output's name (COG, its other format, has no extension of its own).
FORMATS = {'tif': 'GTiff', 'tiff': 'GTiff', 'img': 'HFA', 'sdat': 'SAGA', 'gpkg': 'GPKG',
           'bil': 'EHdr', 'dat': 'ENVI', 'envi': 'ENVI', 'ers': 'ERS'}

DATA_TYPES = ['Float32', 'Float64']


def output_format(path):
    """The GDAL format for an output named `path`, from its extension: one of
    FORMATS, else the one QGIS writes for the extension, which kavrix-gdal
    then refuses with the list of those it writes."""
    extension = os.path.splitext(path)[1].lower().lstrip('.')
    fmt = FORMATS.get(extension) or QgsRasterFileWriter.driverForExtension(extension)
    if not fmt:
        raise QgsProcessingException(
            'the output {} has no extension of a raster format; kavrix-gdal writes {}'.format(
                path, ', '.join('.{} ({})'.format(e, f) for e, f in FORMATS.items())))
    return fmt


def creation_options(text):
    """The -co arguments of creation options written as Processing's GDAL
    algorithms take them: NAME=VALUE separated by '|'."""
    arguments = []
    for option in text.split('|'):
        if option.strip():
            arguments += ['-co', option.strip()]
    return arguments


class TopographicIndex(KavrixAlgorithm):
    """ln(A / (T tan S)) of a band of each of three rasters, as a raster."""

    TOOL = 'kavrix-gdal'
    INPUTS = (('A', 'Flow accumulation A (cells that drain through each cell)'),
              ('T', 'Transmissivity T (m²/h)'),
              ('S', 'Slope S (degrees)'))
    DATA_TYPE = 'DATA_TYPE'
    NODATA = 'NODATA'
    OPTIONS = 'OPTIONS'
    OUTPUT = 'OUTPUT'

    def name(self):
        return 'topographicindex'

    def displayName(self):
        return 'Topographic index'

    def shortHelpString(self):
        return (
            'Computes the topographic index ln(cellsize² · (A + 1) / (T · tan S)) of '
            'every cell with kavrix-gdal: A is the number of cells upstream, T the '
            'transmissivity in m²/h, S the slope in degrees. The three rasters '
            'describe one grid in a projected CRS; the output has the place and CRS '
            'of A and the statistics of the computed cells.\n\n'
            'The output format follows the extension: .tif GeoTIFF, .img Erdas '
            'Imagine, .sdat SAGA, .gpkg GeoPackage, .bil EHdr, .dat or .envi ENVI, '
            '.ers ER Mapper (GeoPackage and EHdr hold Float32 only). The nodata value '
            'is by default that of A, else -9999. Creation options are NAME=VALUE '
            'separated by |, e.g. COMPRESS=DEFLATE|PREDICTOR=3.')

    def initAlgorithm(self, config=None):
        for name, description in self.INPUTS:
            self.addParameter(QgsProcessingParameterRasterLayer(name, description))
            # Optional, so that qgis_process and scripts may leave it out:
            # QGIS 3.22 takes a band left out for a wrong value, not for 1.
            self.addParameter(QgsProcessingParameterBand(
                name + '_BAND', 'Band of {}'.format(name), defaultValue=1,
                parentLayerParameterName=name, optional=True))
        self.addParameter(QgsProcessingParameterEnum(
            self.DATA_TYPE, 'Output data type', DATA_TYPES, defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            self.NODATA, 'Output nodata value', QgsProcessingParameterNumber.Double,
            defaultValue=None, optional=True))
        options = QgsProcessingParameterString(
            self.OPTIONS, 'Creation options', defaultValue='', optional=True)
        options.setFlags(options.flags() | QgsProcessingParameterDefinition.FlagAdvanced)
        options.setMetadata({'widget_wrapper': {
            'class': 'processing.algs.gdal.ui.RasterOptionsWidget.RasterOptionsWidgetWrapper'}})
        self.addParameter(options)
        self.addParameter(QgsProcessingParameterRasterDestination(self.OUTPUT, 'Topographic index'))

    def processAlgorithm(self, parameters, context, feedback):
        arguments = [self.raster_source(parameters, name, context) for name, _ in self.INPUTS]
        output = self.parameterAsOutputLayer(parameters, self.OUTPUT, context)
        arguments.append(output)
        for name, _ in self.INPUTS:
            band = self.parameterAsInt(parameters, name + '_BAND', context)
            arguments += ['--{}_band'.format(name), band]
        arguments += ['-of', output_format(output),
                      '-ot', DATA_TYPES[self.parameterAsEnum(parameters, self.DATA_TYPE, context)]]
        if parameters.get(self.NODATA) is not None:
            arguments += ['-a_nodata', repr(self.parameterAsDouble(parameters, self.NODATA, context))]
        arguments += creation_options(self.parameterAsString(parameters, self.OPTIONS, context))
        run_tool(self.TOOL, arguments, feedback)
        return {self.OUTPUT: output}
