"""What the algorithms of the provider have in common."""

from qgis.core import QgsProcessingAlgorithm, QgsProcessingException

from .tools import find_tool, missing_tool_message


class KavrixAlgorithm(QgsProcessingAlgorithm):
    """An algorithm that runs the kavrix command TOOL."""

    TOOL = ''

    def createInstance(self):
        return type(self)()

    def canExecute(self):
        # The dialog disables its Run button with this message.
        if find_tool(self.TOOL) is None:
            return False, missing_tool_message(self.TOOL)
        return True, ''

    def raster_source(self, parameters, name, context):
        """The name under which GDAL opens the raster layer of parameter
        `name`; the command opens it itself."""
        layer = self.parameterAsRasterLayer(parameters, name, context)
        if layer is None:
            raise QgsProcessingException(self.invalidRasterError(parameters, name))
        if layer.providerType() != 'gdal':
            raise QgsProcessingException(
                '{}: {} reads rasters that GDAL opens, and {} is a layer of the {} '
                'provider; save it as a GeoTIFF first'.format(
                    name, self.TOOL, layer.name(), layer.providerType()))
        return layer.source()
