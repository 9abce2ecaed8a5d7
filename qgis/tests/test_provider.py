"""The kavrix Processing provider headless, in qgis_process and on the desktop:
its results are the commands' own, byte for byte."""

import filecmp, json, os, pathlib, re, shutil, subprocess, sys
import numpy as np
import pytest
from osgeo import gdal, gdal_array
from qgis.core import (QgsApplication, QgsProcessingException, QgsProcessingFeedback,
                       QgsProcessingModelAlgorithm, QgsProcessingModelChildAlgorithm,
                       QgsProcessingModelChildParameterSource as Source, QgsProcessingModelOutput,
                       QgsProcessingModelParameter, QgsProcessingParameterRasterLayer, QgsRasterLayer)

SOURCE, BIN = os.environ['KAVRIX_SOURCE_DIR'], os.environ['KAVRIX_BIN_DIR']
gdal.UseExceptions()
APP = QgsApplication([], False)  # headless, for the whole session
APP.initQgis()


def write_raster(path, bands, dtype=gdal.GDT_Float64):
    grid = gdal_array.OpenArray(np.stack(bands))
    grid.SetGeoTransform((3512000, 25, 0, 5401200, 0, -25))
    gdal.Translate(path, grid, outputSRS='EPSG:25832', noData=-9999, outputType=dtype)
    return path


def raster(path):
    """What kavrix-gdal decides of an output: cells, type, place, metadata."""
    ds = gdal.Open(str(path))
    band = ds.GetRasterBand(1)
    return (band.ReadRaster(), band.DataType, band.GetNoDataValue(), ds.GetGeoTransform(), ds.GetProjection(),
            band.GetMetadata(), ds.GetMetadata(), ds.GetMetadata('IMAGE_STRUCTURE'))


def kavrix(tool, *arguments):
    return subprocess.run([os.path.join(BIN, tool), *map(str, arguments)], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


@pytest.fixture(scope='session')
def plugins(tmp_path_factory):
    """The plugin as "Install from ZIP" unpacks the zip of scripts/qgis-plugin.sh."""
    folder = tmp_path_factory.mktemp('plugins')
    subprocess.run([SOURCE + '/scripts/qgis-plugin.sh', folder / 'p.zip'], check=True, stdout=subprocess.DEVNULL)
    sys.path.insert(0, APP.pkgDataPath() + '/python')
    from pyplugin_installer.unzip import unzip
    unzip(str(folder / 'p.zip'), str(folder))
    return str(folder)


@pytest.fixture(scope='session')
def qgis(plugins):
    """QGIS headless, the plugin started as qgis_process starts it, the commands in the setting's folder."""
    sys.path[:0] = [plugins, APP.pkgDataPath() + '/python/plugins']
    import qgis.utils
    from processing.core.Processing import Processing
    from processing.core.ProcessingConfig import ProcessingConfig
    Processing.initialize()
    assert qgis.utils.loadPlugin('kavrix_provider') and qgis.utils.startProcessingPlugin('kavrix_provider')
    ProcessingConfig.setSettingValue('KAVRIX_FOLDER', BIN)
    yield ProcessingConfig


@pytest.fixture(scope='session')
def grids(tmp_path_factory):
    """A (in band 2), T and S with missing cells, raised values and NaN; and
    taller ones whose compressed output is slow, for progress and cancel."""
    d, r = tmp_path_factory.mktemp('grids'), np.random.default_rng(7)
    a, t, s = r.integers(-1, 900, (23, 37)), r.uniform(-1, 3, (23, 37)), r.uniform(0, 60, (23, 37))
    a[3, 4], t[5, 6], s[7, 8], s[9, 10] = -9999, -9999, np.nan, 0.5
    small = [write_raster(str(d / 'a.tif'), [r.uniform(0, 9, a.shape), a]),
             write_raster(str(d / 't.tif'), [t]), write_raster(str(d / 's.tif'), [s])]
    tall = [write_raster(str(d / (n + '.tif')), [r.uniform(0, 40, (1600, 100))], gdal.GDT_Float32) for n in 'ATS']
    return small, tall


def run(algorithm, parameters, feedback=None):
    import processing
    return processing.run(algorithm, parameters, feedback=feedback or QgsProcessingFeedback())


def test_zip_and_install_hold_the_plugin_folder(plugins, tmp_path):
    subprocess.run(['cmake', '--install', BIN, '--prefix', tmp_path], check=True, stdout=subprocess.DEVNULL)
    folder = SOURCE + '/qgis/kavrix_provider'
    names = sorted(n for n in os.listdir(folder) if n != '__pycache__')
    for copy in (plugins + '/kavrix_provider', tmp_path / 'share/kavrix/qgis/kavrix_provider'):
        assert sorted(os.listdir(copy)) == names and filecmp.cmpfiles(folder, copy, names, shallow=False)[0] == names
    version = re.search(r'project\(kavrix VERSION (\S+)', pathlib.Path(SOURCE, 'CMakeLists.txt').read_text())
    assert 'version={}\n'.format(version[1]) in pathlib.Path(folder, 'metadata.txt').read_text()


def topographic_index(request, runner, parameters):
    """Runs kavrix:topographicindex headless or in qgis_process; a failure raises with its message."""
    if runner == 'api':
        return run('kavrix:topographicindex', parameters)
    done = subprocess.run(['qgis_process.bin', '--json', 'run', 'kavrix:topographicindex', '--']
                          + ['{}={}'.format(*p) for p in parameters.items()], env=request.getfixturevalue('profile'),
                          text=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    assert 'Traceback' not in done.stdout
    if done.returncode != 0:
        raise QgsProcessingException(done.stdout)
    return json.loads(done.stdout[done.stdout.index('{'):])['results']


INDEX_CASES = [  # extension, parameters, kavrix-gdal's arguments for them
    ('tif', {'A_BAND': 2}, ['--A_band', '2']),
    ('img', {'A_BAND': 2, 'DATA_TYPE': 1, 'NODATA': -1.5}, ['--A_band=2', '-of', 'HFA', '-ot', 'Float64', '-a_nodata', '-1.5']),
    ('tif', {'OPTIONS': 'COMPRESS=DEFLATE|PREDICTOR=3'}, ['-co', 'COMPRESS=DEFLATE', '-co', 'PREDICTOR=3']),
    ('sdat', {'NODATA': 7}, ['-of', 'SAGA', '-a_nodata', '7']),
    ('ers', {'NODATA': -1}, ['-of', 'ERS', '-a_nodata', '-1'])]


@pytest.mark.parametrize('runner,extension,parameters,arguments',
                         [('api', *c) for c in INDEX_CASES[:4]] + [('qgis_process', *c) for c in INDEX_CASES[1::3]])
def test_index_is_kavrix_gdals(qgis, request, grids, tmp_path, runner, extension, parameters, arguments):
    ours, theirs = str(tmp_path / ('q.' + extension)), tmp_path / ('k.' + extension)
    assert topographic_index(request, runner, dict(zip('ATS', grids[0]), OUTPUT=ours, **parameters)) == {'OUTPUT': ours}
    kavrix('kavrix-gdal', *grids[0], theirs, '-q', *arguments)
    assert raster(ours) == raster(theirs)
    assert QgsRasterLayer(ours).crs().description() == 'ETRS89 / UTM zone 32N'  # EPSG:25832


def test_distribution_is_kavrix_dists(qgis, grids, tmp_path):
    index, logged, feedback = str(tmp_path / 'i.tif'), [], QgsProcessingFeedback()
    kavrix('kavrix-gdal', *grids[0], index, '-q')
    feedback.pushInfo = logged.append
    result = run('kavrix:indexdistribution', {'INPUT': index, 'CLASSES': 7, 'CSV': str(tmp_path / 'q.csv'),
                                              'SVG': str(tmp_path / 'q.svg')}, feedback)
    table = kavrix('kavrix-dist', index, '-n', 7, '--csv', tmp_path / 'k.csv', '--svg', tmp_path / 'k.svg')
    assert result['TABLE'] == table and table in logged
    for name in ('csv', 'svg'):
        assert filecmp.cmp(tmp_path / ('q.' + name), tmp_path / ('k.' + name), shallow=False)


def test_progress_climbs_and_cancel_leaves_nothing(qgis, grids, tmp_path):
    from kavrix_provider.tools import progress_percent  # a number may come in two reads
    assert [progress_percent(t) for t in ('0..', '0...1', '0...10', '0...10.', '90...100 - done.')] == [5, 7.5, 7.5, 12.5, 100]
    inputs = dict(zip('ATS', grids[1]), OPTIONS='COMPRESS=LZMA|LZMA_PRESET=9')
    feedback, steps = QgsProcessingFeedback(), []
    feedback.progressChanged.connect(steps.append)
    run('kavrix:topographicindex', dict(inputs, OUTPUT=str(tmp_path / 'all.tif')), feedback)
    assert steps == sorted(set(steps)) and len(steps) >= 5 and steps[-1] == 100
    before, output, feedback = os.listdir(tmp_path), str(tmp_path / 'cancelled.tif'), QgsProcessingFeedback()
    feedback.progressChanged.connect(lambda percent: percent >= 10 and feedback.cancel())
    with pytest.raises(QgsProcessingException, match='kavrix-gdal was cancelled'):
        run('kavrix:topographicindex', dict(inputs, OUTPUT=output), feedback)
    assert os.listdir(tmp_path) == before  # no output, no temporary folder
    assert subprocess.run(['pgrep', '-f', re.escape(output)], stdout=subprocess.DEVNULL).returncode == 1


FAILURES = [  # extension, parameters, what kavrix-gdal says
    ('asc', {}, r'failed \(exit status 1\): the output format AAIGrid is not one whose round trip '
                r'kavrix-gdal has checked; it writes GTiff, COG'),
    ('bil', {'DATA_TYPE': 1}, r'failed \(exit status 1\): the output format EHdr cannot hold Float64'),
    ('tif', {'S': 'tall'}, r'failed \(exit status 2\): .*a.tif has 37 x 23 cells, .*S.tif 100 x 1600')]


@pytest.mark.parametrize('runner,extension,parameters,message',
                         [('api', *c) for c in FAILURES] + [('qgis_process', *FAILURES[0])])
def test_failure_says_what_the_tool_said(qgis, request, grids, tmp_path, runner, extension, parameters, message):
    inputs = dict(zip('ATS', grids[0]), OUTPUT=str(tmp_path / ('q.' + extension)), **parameters)
    inputs['S'] = grids[1][2] if inputs['S'] == 'tall' else inputs['S']
    with pytest.raises(QgsProcessingException, match=message):
        topographic_index(request, runner, inputs)
    assert os.listdir(tmp_path) == []


def test_missing_tool_is_named(qgis, grids, tmp_path, monkeypatch, request):
    monkeypatch.setenv('PATH', str(tmp_path))
    qgis.setSettingValue('KAVRIX_FOLDER', str(tmp_path))
    request.addfinalizer(lambda: qgis.setSettingValue('KAVRIX_FOLDER', BIN))
    missing = 'kavrix-dist was found neither in the folder {} nor on PATH'.format(tmp_path)
    canExecute = QgsApplication.processingRegistry().algorithmById('kavrix:indexdistribution').canExecute()
    with pytest.raises(QgsProcessingException, match=re.escape(missing)):
        run('kavrix:indexdistribution', {'INPUT': grids[0][1], 'CSV': str(tmp_path / 'q.csv')})
    assert canExecute == (False, missing + ': install kavrix, or set the folder that holds kavrix-dist in '
                          'Settings > Options > Processing > Providers > kavrix')


def test_model_index_then_distribution(qgis, grids, tmp_path):
    model = QgsProcessingModelAlgorithm('index then distribution', 'kavrix')
    index, dist = (QgsProcessingModelChildAlgorithm('kavrix:' + a) for a in ('topographicindex', 'indexdistribution'))
    index.setChildId('index')
    for name in 'ATS':
        model.addModelParameter(QgsProcessingParameterRasterLayer(name, name), QgsProcessingModelParameter(name))
        index.addParameterSources(name, [Source.fromModelParameter(name)])
    dist.setChildId('dist')
    dist.addParameterSources('INPUT', [Source.fromChildOutput('index', 'OUTPUT')])
    dist.addParameterSources('CLASSES', [Source.fromStaticValue(9)])
    dist.setModelOutputs({'CSV': QgsProcessingModelOutput('CSV')})
    dist.modelOutput('CSV').setChildOutputName('CSV')
    model.addChildAlgorithm(index)
    model.addChildAlgorithm(dist)
    run(model, dict(zip('ATS', grids[0]), **{'dist:CSV': str(tmp_path / 'q.csv')}))  # the index in a temporary file
    kavrix('kavrix-gdal', *grids[0], tmp_path / 'k.tif', '-q')
    kavrix('kavrix-dist', tmp_path / 'k.tif', '-n', 9, '--csv', tmp_path / 'k.csv')
    assert filecmp.cmp(tmp_path / 'q.csv', tmp_path / 'k.csv', shallow=False)


@pytest.fixture(scope='session')
def profile(plugins):
    """qgis_process's and the desktop's environment: the plugin enabled, the commands on PATH, no folder set."""
    env = dict(os.environ, QGIS_PLUGINPATH=plugins, PATH=BIN + os.pathsep + os.environ['PATH'])
    subprocess.run(['qgis_process.bin', 'plugins', 'enable', 'kavrix_provider'], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return env


@pytest.mark.skipif(not (shutil.which('xvfb-run') and shutil.which('qgis')), reason='no xvfb-run or qgis')
def test_desktop_dialog(profile, tmp_path):
    """The desktop has both algorithms and shows the dialog, whose screenshot the README shows."""
    shot = os.environ.get('KAVRIX_QGIS_SCREENSHOT', str(tmp_path / 'dialog.png'))
    # A copy: QGIS keeps the statistics of a layer it draws beside its file.
    env = dict(profile, SHOT=shot, EXAMPLES=str(shutil.copytree(SOURCE + '/examples', tmp_path / 'examples')))
    del env['QT_QPA_PLATFORM']
    # The script's exit status says whether both algorithms were there and the dialog could run.
    subprocess.run(['xvfb-run', '-a', 'qgis', '--nologo', '--code', SOURCE + '/qgis/tests/desktop_dialog.py'],
                   env=env, timeout=120, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert (gdal.Open(shot).RasterXSize, gdal.Open(shot).RasterYSize) == (760, 700)
